#include "sys/PermissionHint.h"

namespace zelv4 {

// Windows grants HID devices to every user; a refusal comes from a program that
// opened the device without sharing it, or from a policy.
std::string DevicePermissionHint()
{
    return "  Windows refused to open the device: close any other program that uses it, or run\n"
           "  this one as an administrator, then unplug the chip and plug it in again.\n";
}

std::string BusPermissionHint()
{
    return "  The probe asks every USB device through its hub; run it as an administrator to\n"
           "  ask the devices that were refused.\n";
}

}  // namespace zelv4
