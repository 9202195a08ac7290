#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/HexText.h"
#include "core/OperationMessages.h"
#include "device/DevicePlatform.h"
#include "device/UsbBusScan.h"
#include "sys/PermissionHint.h"

namespace zelv4 {

namespace {

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A device's text for the terminal: UTF-8, with control characters (a device could
// send escape sequences) and broken surrogates shown as escapes.
std::string Printable(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if ((code >= 0xD800 && code < 0xE000) || code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, code < 0x100 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(code));
            out += escape;
            continue;
        } else if (code == u'"' || code == u'\\') {
            out += '\\';
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    for (const auto byte : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%s%02x", out.empty() ? "" : " ", byte);
        out += text;
    }
    return out;
}

std::string PortPath(const UsbBusEvent& event)
{
    std::string path;
    for (const unsigned port : event.ports) {
        path += (path.empty() ? "" : ".") + std::to_string(port);
    }
    return path;
}

std::string DeviceIds(const UsbBusEvent& event)
{
    return Hex4(event.connection.vendorId) + ":" + Hex4(event.connection.productId);
}

// One line per hub and per port with something on it; empty ports are left out.
void PrintEvent(std::ostream& out, const UsbBusEvent& event, bool& anyDenied)
{
    const std::string where = "    port " + PortPath(event) + " of " + event.hubName + ": ";
    switch (event.kind) {
    case UsbBusEventKind::HubScanned:
        out << "  "
            << (event.ports.empty() ? "controller " + std::to_string(event.controller) + ", root hub "
                                    : std::string("hub "))
            << event.hubName << ": " << event.portCount << " ports\n";
        break;
    case UsbBusEventKind::HubFailed:
        out << "  hub " << event.hubName << ": cannot be opened or asked for its ports, not scanned\n";
        break;
    case UsbBusEventKind::HubTooDeep:
        out << where << "hub deeper than USB allows, not scanned\n";
        break;
    case UsbBusEventKind::PortFailed:
        out << where << "connection information unreadable\n";
        break;
    case UsbBusEventKind::PortEmpty:
        break;
    case UsbBusEventKind::PortHub:
        out << where << "hub " << DeviceIds(event) << ", not asked itself\n";
        break;
    case UsbBusEventKind::DeviceAnswered:
        out << where << "device " << DeviceIds(event) << " answered \"" << Printable(event.text) << "\""
            << (event.matched ? "  ZEL-V4\n" : "  not the signature\n");
        break;
    case UsbBusEventKind::DeviceReplyRejected:
        out << where << "device " << DeviceIds(event)
            << " answered with no valid string descriptor: " << HexBytes(event.reply) << "\n";
        break;
    case UsbBusEventKind::DeviceNoAnswer:
        out << where << "device " << DeviceIds(event) << " did not answer the signature request\n";
        break;
    case UsbBusEventKind::DeviceNotAsked:
        if (event.error == UsbRequestError::PermissionDenied) {
            out << where << "device " << DeviceIds(event) << " not asked: permission denied\n";
            anyDenied = true;
        } else {
            out << where << "device " << DeviceIds(event) << " not asked: cannot be opened\n";
        }
        break;
    }
}

}  // namespace

void RunProbe(CliContext& context)
{
    DevicePlatform* platform = PlatformFor(context);
    if (platform == nullptr)
        return;
    unsigned denied = 0;
    const int found = UsbBusScan(platform->UsbBus()).CountBusDevices([&denied](const UsbBusEvent& event) {
        if (event.kind == UsbBusEventKind::DeviceNotAsked && event.error == UsbRequestError::PermissionDenied)
            ++denied;
    });
    context.report.Details()["bus_device_count"] = found;
    context.report.Details()["denied_devices"] = denied;

    if (found > 0) {
        context.out << ISP_MSG_DEVICE_FOUND << "\n";
        context.exitCode = EXIT_OK;
        context.report.SetOutcome("succeeded", ISP_MSG_DEVICE_FOUND);
        return;
    }
    context.err << ISP_MSG_DEVICE_NOT_FOUND << "\n";
    if (denied > 0) {
        // Any device may be behind a refused node, not only a ZEL-V4: still "not found".
        context.err << denied << " USB device(s) could not be asked: permission denied.\n" << BusPermissionHint();
    }
    context.exitCode = EXIT_NO_DEVICE;
    context.report.SetOutcome("no-device", ISP_MSG_DEVICE_NOT_FOUND);
}

void PrintBusScan(CliContext& context, DevicePlatform& platform)
{
    std::ostream& out = context.out;
    out << "USB bus:\n";
    bool anyDenied = false;
    const int found = UsbBusScan(platform.UsbBus()).CountBusDevices([&](const UsbBusEvent& event) {
        PrintEvent(out, event, anyDenied);
    });
    context.report.Details()["bus_device_count"] = found;
    out << "Bus scan: " << found << (found == 1 ? " device answers" : " devices answer") << " the ZEL-V4 signature\n";
    if (anyDenied) {
        out << "Some USB devices could not be asked: permission denied.\n" << BusPermissionHint();
    }
}

void AddBusCommands(CLI::App& app, CliContext& context)
{
    app.add_subcommand("probe", "Scan the USB bus for devices that answer the ZEL-V4 signature")->callback([&context] {
        RunProbe(context);
    });
}

}  // namespace zelv4
