#include <CLI/CLI.hpp>

#include <string>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceCommands.h"
#include "cli/HexText.h"
#include "cli/PermissionHint.h"
#include "core/IspConstants.h"
#include "device/DevicePlatform.h"
#include "device/HidPlatform.h"
#include "device/IspDeviceConnection.h"

namespace zelv4 {

namespace {

// Looks at one interface the way the search does, without keeping it open.
void DescribeInterface(CliContext& context, HidPlatform& hid, const std::string& path, bool& zelV4Denied)
{
    std::ostream& out = context.out;
    HidOpenError error = HidOpenError::None;
    const std::unique_ptr<HidDeviceHandle> handle = hid.Open(path, error);
    if (!handle) {
        if (error == HidOpenError::PermissionDenied) {
            out << "    cannot open: permission denied\n";
            // Most systems refuse every HID node but the seat's own devices; the
            // rule only helps when the refused one may be the ZEL-V4.
            const std::optional<HidAttributes> ids = hid.PeekAttributes(path);
            if (!ids || (ids->VendorID == ISP_VENDOR_ID && ids->ProductID == ISP_PRODUCT_ID))
                zelV4Denied = true;
        } else {
            out << "    cannot open: skipped by the search\n";
        }
        return;
    }
    HidAttributes attributes;
    attributes.Size = 12;
    if (!handle->GetAttributes(attributes)) {
        out << "    attributes unreadable: the search stops here\n";
        return;
    }
    const bool matches = attributes.VendorID == ISP_VENDOR_ID && attributes.ProductID == ISP_PRODUCT_ID;
    out << "    id " << Hex4(attributes.VendorID) << ":" << Hex4(attributes.ProductID) << " version "
        << Hex4(attributes.VersionNumber) << (matches ? "  ZEL-V4 ISP device\n" : "  not a ZEL-V4 ISP device\n");
    HidCaps caps;
    if (!handle->GetPreparsedData())
        out << "    report descriptor unreadable\n";
    else if (!handle->GetCaps(caps))
        out << "    capabilities unreadable\n";
    else
        out << "    feature report length " << caps.FeatureReportByteLength << "\n";
}

void ListDevices(CliContext& context)
{
    DevicePlatform* platform = PlatformFor(context);
    if (platform == nullptr)
        return;
    PrintHidInterfaces(context, *platform);
    PrintBusScan(context, *platform);
    // A listing is a success even when it shows no device: it says why.
    context.report.SetOutcome("succeeded", context.report.Details().value("isp_device_found", false)
                                               ? "ISP device: found"
                                               : "ISP device: not found");
}

}  // namespace

void PrintHidInterfaces(CliContext& context, DevicePlatform& platform)
{
    std::ostream& out = context.out;
    HidPlatform& hid = platform.Hid();
    out << "HID interfaces:\n";
    bool zelV4Denied = false;
    const std::unique_ptr<HidInterfaceList> list = hid.GetClassDevices();
    unsigned index = 0;
    if (!list) {
        out << "  the HID interfaces cannot be listed\n";
    } else {
        for (; list->EnumInterface(index); ++index) {
            const std::optional<std::string> path = list->InterfacePath(index);
            out << "  [" << index << "] " << (path ? *path : std::string("(no path)")) << "\n";
            if (index >= ISP_MAX_HID_INTERFACES)
                out << "    past the first " << ISP_MAX_HID_INTERFACES << ": not examined by the search\n";
            if (!path)
                out << "    interface details unreadable: the search stops here\n";
            else
                DescribeInterface(context, hid, *path, zelV4Denied);
        }
        if (index == 0)
            out << "  none\n";
    }
    // The search itself, as an operation would run it.
    SetHidPlatform(&hid);
    SetPlainMessageHandler([&out](const std::string& text) { out << text; });
    FindIspDevice();
    nlohmann::json& details = context.report.Details();
    details["hid_interfaces"] = index;
    details["isp_device_found"] = g_hIspDevice != nullptr;
    details["device_path"] = g_hIspDevice ? nlohmann::json(IspDevicePath()) : nlohmann::json(nullptr);
    if (g_hIspDevice) {
        out << "ISP device: found, feature report length " << g_IspCaps.FeatureReportByteLength << "\n";
        details["feature_report_length"] = g_IspCaps.FeatureReportByteLength;
    } else {
        out << "ISP device: not found\n";
    }
    details["denied_paths"] = IspDeniedPaths();
    CloseIspDevice();
    // The platform belongs to this run; the search must not keep pointing at it.
    SetHidPlatform(nullptr);
    SetPlainMessageHandler(nullptr);

    if (zelV4Denied) {
        out << "An interface that may be the ZEL-V4 could not be opened: permission denied.\n";
        out << UdevRuleHint();
    }
}

void AddDeviceCommands(CLI::App& app, CliContext& context)
{
    CLI::App* list = app.add_subcommand("list", "List the HID interfaces the ISP device search examines, and the "
                                                "USB devices the bus scan asks");
    list->callback([&context] { ListDevices(context); });
}

}  // namespace zelv4
