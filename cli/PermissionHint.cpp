#include "PermissionHint.h"

namespace zelv4 {

std::string UdevRuleHint()
{
    const std::string rule = UDEV_RULE_NAME;
    return "  The udev rule " + rule + " gives the logged-in user access to the ZEL-V4.\n"
           "  Installed from the package it is in /usr/lib/udev/rules.d already; from the\n"
           "  source tree, install it as root:\n"
           "    cp res/" + rule + " /etc/udev/rules.d/\n"
           "  Then, as root:\n"
           "    udevadm control --reload-rules && udevadm trigger\n"
           "  and unplug the chip and plug it in again.\n";
}

}  // namespace zelv4
