#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelv4 {

// The values the Linux backend reads from sysfs and udev, as text: what the kernel
// writes there, and nothing else, is taken. A value may end in a newline (an
// attribute file's text); anything else around it makes it unreadable.

// Digits of a hidraw node's number: the kernel has at most 1 << MINORBITS minors.
inline constexpr std::size_t HIDRAW_NUMBER_MAX_DIGITS = 4;
// Fields of a HID_ID property: bus, vendor and product, each at most eight hex digits.
inline constexpr std::size_t HID_ID_FIELD_MAX_DIGITS = 8;
// USB 3 allows seven tiers of ports below a root hub.
inline constexpr std::size_t USB_PORT_PATH_MAX_TIERS = 7;
inline constexpr unsigned USB_BUS_NUMBER_MAX = 255;
inline constexpr unsigned USB_PORT_NUMBER_MAX = 255;

// "hidraw12" -> 12; none for other names.
std::optional<unsigned> HidrawNodeNumber(std::string_view name);

struct HidIds {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};
// The HID_ID property of a HID device, "0003:0000040B:00006876" (bus, vendor,
// product in hex); none when a vendor or product does not fit 16 bits.
std::optional<HidIds> ParseHidId(std::string_view value);

// An attribute written in hex ("0100", "09", "040b") with at most `maxDigits` digits.
std::optional<unsigned> ParseSysfsHex(std::string_view text, std::size_t maxDigits);
// An attribute written in decimal ("3", "12"), no greater than `max`.
std::optional<unsigned> ParseSysfsDecimal(std::string_view text, unsigned max);

// The ports of a devpath attribute ("2.3": port 3 of the hub on root port 2), each
// from 1; none for a root hub's "0" or values the kernel does not write.
std::optional<std::vector<unsigned>> ParseUsbDevpath(std::string_view devpath);

// A USB device's port path as the kernel names the device ("1-2.3": port 3 of the hub
// on root port 2 of bus 1), from its busnum ("1") and devpath ("2.3") attributes;
// none for a root hub (devpath "0") or values the kernel does not write.
std::optional<std::string> UsbPortPath(std::string_view busnum, std::string_view devpath);

}  // namespace zelv4
