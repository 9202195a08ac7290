#include "cli/output/HidInterfacesText.h"

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/output/AttachedDevicesText.h"
#include "core/HexText.h"
#include "core/IspConstants.h"
#include "device/HidPlatform.h"
#include "device/IspDeviceConnection.h"
#include "device/IspDeviceInventory.h"
#include "sys/PermissionHint.h"

namespace zelv4 {

namespace {

std::string IdLine(const HidAttributes& attributes)
{
    return "    id " + UsbIdText(attributes.VendorID) + ":" + UsbIdText(attributes.ProductID) + " version " +
           UsbIdText(attributes.VersionNumber) +
           (IsIspDeviceId(attributes.VendorID, attributes.ProductID) ? "  ZEL-V4 ISP device\n"
                                                                     : "  not a ZEL-V4 ISP device\n");
}

// What the search made of one interface, in its own terms: the listing decides
// nothing itself.
void PrintSearchEvent(std::ostream& out, const HidSearchEvent& event)
{
    out << "  [" << event.index << "] " << (event.path.empty() ? std::string("(no path)") : event.path) << "\n";
    switch (event.kind) {
    case HidSearchEventKind::DetailFailed:
        out << "    interface details unreadable: the search stops here\n";
        break;
    case HidSearchEventKind::OpenDenied:
        out << "    cannot open: permission denied\n";
        break;
    case HidSearchEventKind::OpenFailed:
        out << "    cannot open: skipped by the search\n";
        break;
    case HidSearchEventKind::NotSelected:
        out << "    not the device asked for: skipped\n";
        break;
    case HidSearchEventKind::AttributesFailed:
        out << "    attributes unreadable: the search stops here\n";
        break;
    case HidSearchEventKind::NotIspDevice:
        out << IdLine(event.attributes);
        break;
    case HidSearchEventKind::Busy:
        out << IdLine(event.attributes) << "    in use by another program: left alone\n";
        break;
    case HidSearchEventKind::PreparsedFailed:
        out << IdLine(event.attributes) << "    report descriptor unreadable: the search stops here\n";
        break;
    case HidSearchEventKind::Matched:
        out << IdLine(event.attributes);
        if (event.capsRead)
            out << "    feature report length " << event.caps.FeatureReportByteLength << "\n";
        else
            out << "    capabilities unreadable\n";
        break;
    }
}

// Interfaces the search did not reach: past its limit, or after it ended early.
unsigned PrintUnexamined(std::ostream& out, HidPlatform& hid, unsigned from)
{
    const std::unique_ptr<HidInterfaceList> list = hid.GetClassDevices();
    unsigned index = from;
    for (; list && list->EnumInterface(index); ++index) {
        const std::optional<std::string> path = list->InterfacePath(index);
        out << "  [" << index << "] " << (path ? *path : std::string("(no path)")) << "\n";
        if (index >= ISP_MAX_HID_INTERFACES)
            out << "    past the first " << ISP_MAX_HID_INTERFACES << ": not examined by the search\n";
        else
            out << "    not examined: the search ended before it\n";
    }
    return index;
}

}  // namespace

void DescribeHidInterfaces(HidPlatform& hid, CommandResult& listing)
{
    std::ostringstream out;
    out << "HID interfaces:\n";
    // The search itself, as an operation runs it, telling what it makes of each one.
    IspDeviceConnection connection(hid);
    connection.SetSearchLock(SearchLock::LookOnly);
    bool zelV4Denied = false;
    bool endedEarly = false;
    unsigned examined = 0;
    std::vector<AttachedIspDevice> attached;
    connection.FindIspDevice([&](const HidSearchEvent& event) {
        PrintSearchEvent(out, event);
        if (std::optional<AttachedIspDevice> device = AttachedFrom(event, hid)) {
            if (!device->port.empty())
                out << "    port " << device->port << "\n";
            attached.push_back(std::move(*device));
        }
        zelV4Denied = zelV4Denied || event.mayBeIspDevice;
        endedEarly = event.kind == HidSearchEventKind::DetailFailed ||
                     event.kind == HidSearchEventKind::AttributesFailed ||
                     event.kind == HidSearchEventKind::PreparsedFailed;
        examined = event.index + 1;
    });
    unsigned listed = examined;
    if (endedEarly || examined == ISP_MAX_HID_INTERFACES)
        listed = PrintUnexamined(out, hid, examined);
    if (listed == 0)
        out << "  none\n";

    nlohmann::json& details = listing.details;
    details["hid_interfaces"] = listed;
    details["isp_device_found"] = connection.IsOpen();
    details["device_path"] = connection.IsOpen() ? nlohmann::json(connection.DevicePath()) : nlohmann::json(nullptr);
    if (connection.IsOpen()) {
        out << "ISP device: found, feature report length " << connection.Caps().FeatureReportByteLength << "\n";
        details["feature_report_length"] = connection.Caps().FeatureReportByteLength;
    } else {
        out << "ISP device: not found\n";
    }
    // Every ISP device with its node and port: what --device and --port take.
    out << "ISP devices attached: " << attached.size() << "\n";
    out << AttachedText(attached);
    details["isp_devices"] = AttachedJson(attached);
    details["denied_paths"] = connection.DeniedPaths();
    details["busy_paths"] = connection.BusyPaths();
    details["search_status"] = connection.Status();
    connection.CloseIspDevice();

    if (zelV4Denied) {
        out << "An interface that may be the ZEL-V4 could not be opened: permission denied.\n";
        out << DevicePermissionHint();
    }
    listing.Out(out.str());
}

}  // namespace zelv4
