#include "cli/output/BusScanText.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/HexText.h"
#include "core/Utf8Path.h"
#include "device/UsbBusScan.h"
#include "sys/PermissionHint.h"

namespace zelv4 {

namespace {

// A device's text for the terminal: UTF-8, with control characters (a device could
// send escape sequences) and broken surrogates shown as escapes.
std::string Printable(const std::u16string& text)
{
    std::string out;
    std::u16string shown;  // what is passed on as it is
    const auto flush = [&out, &shown] {
        out += Utf16ToUtf8(shown).value_or(std::string());
        shown.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            shown += unit;
            shown += text[++i];
        } else if ((unit >= 0xD800 && unit < 0xE000) || unit < 0x20 || unit == 0x7F || (unit >= 0x80 && unit < 0xA0)) {
            flush();
            char escape[8];
            std::snprintf(escape, sizeof escape, unit < 0x100 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(unit));
            out += escape;
        } else {
            if (unit == u'"' || unit == u'\\')
                shown += u'\\';
            shown += unit;
        }
    }
    flush();
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
        if (!path.empty())
            path += '.';
        path += std::to_string(port);
    }
    return path;
}

std::string DeviceIds(const UsbBusEvent& event)
{
    return UsbIdText(event.connection.vendorId) + ":" + UsbIdText(event.connection.productId);
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

void DescribeBusScan(UsbBusPlatform& bus, CommandResult& listing)
{
    std::ostringstream out;
    out << "USB bus:\n";
    bool anyDenied = false;
    const int found =
        UsbBusScan(bus).CountBusDevices([&](const UsbBusEvent& event) { PrintEvent(out, event, anyDenied); });
    listing.details["bus_device_count"] = found;
    out << "Bus scan: " << found << (found == 1 ? " device answers" : " devices answer") << " the ZEL-V4 signature\n";
    if (anyDenied)
        out << "Some USB devices could not be asked: permission denied.\n" << BusPermissionHint();
    listing.Out(out.str());
}

}  // namespace zelv4
