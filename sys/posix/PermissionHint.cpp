#include "sys/PermissionHint.h"

namespace zelv4 {

namespace {

// The packaged udev rule that grants the logged-in user the ZEL-V4's device nodes.
constexpr const char* UDEV_RULE_NAME = "70-zelv4-writer.rules";

}  // namespace

std::string DevicePermissionHint()
{
    const std::string rule = UDEV_RULE_NAME;
    return "  The udev rule " + rule +
           " gives the logged-in user access to the ZEL-V4.\n"
           "  Installed from the package it is in /usr/lib/udev/rules.d already; from the\n"
           "  source tree, install it as root:\n"
           "    cp res/" +
           rule +
           " /etc/udev/rules.d/\n"
           "  Then, as root:\n"
           "    udevadm control --reload-rules && udevadm trigger\n"
           "  and unplug the chip and plug it in again.\n";
}

std::string BusPermissionHint()
{
    const std::string rule = UDEV_RULE_NAME;
    return "  The probe asks every USB device for the ZEL-V4 signature, which needs write\n"
           "  access to its node under /dev/bus/usb. The udev rule " +
           rule +
           " covers\n"
           "  the ISP loader (040b:6876) only; to ask the other devices, run the probe as root.\n";
}

}  // namespace zelv4
