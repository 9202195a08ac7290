#pragma once

#include <string>

namespace zelv4 {

// What to do when the system refuses the ZEL-V4's device node: on Linux, the
// packaged udev rule. Indented by two spaces, one step per line.
std::string DevicePermissionHint();

// Why a bus device could not be asked for the signature, and what helps.
std::string BusPermissionHint();

}  // namespace zelv4
