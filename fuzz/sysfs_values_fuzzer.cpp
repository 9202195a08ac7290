// The text the Linux backend takes from sysfs and udev: node names, the HID_ID
// property, hex and decimal attributes, and a USB device's busnum and devpath. Any
// bytes must be refused or read into a value the kernel could have written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/SysfsValues.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto number = zelv4::HidrawNodeNumber(text); number && *number > 9999)
        __builtin_trap();
    zelv4::ParseHidId(text);
    if (const auto hex = zelv4::ParseSysfsHex(text, 4); hex && *hex > 0xFFFF)
        __builtin_trap();
    if (const auto decimal = zelv4::ParseSysfsDecimal(text, 255); decimal && *decimal > 255)
        __builtin_trap();

    // busnum, then devpath after the first zero byte.
    const auto split = text.find('\0');
    const std::string_view busnum = text.substr(0, split);
    const std::string_view devpath = split == std::string_view::npos ? std::string_view() : text.substr(split + 1);
    const auto port = zelv4::UsbPortPath(busnum, devpath);
    const auto ports = zelv4::ParseUsbDevpath(devpath);
    if (port && (!ports || ports->empty() || ports->size() > zelv4::USB_PORT_PATH_MAX_TIERS))
        __builtin_trap();
    if (port) {
        // The name is the kernel's: digits, one dash, then dots between ports.
        std::string expected = std::to_string(*zelv4::ParseSysfsDecimal(busnum, zelv4::USB_BUS_NUMBER_MAX));
        for (std::size_t i = 0; i < ports->size(); ++i)
            expected += (i == 0 ? '-' : '.') + std::to_string((*ports)[i]);
        if (*port != expected)
            __builtin_trap();
    }
    if (ports) {
        for (const unsigned p : *ports) {
            if (p == 0 || p > zelv4::USB_PORT_NUMBER_MAX)
                __builtin_trap();
        }
    }
    return 0;
}
