#pragma once

#include "cli/DeviceJob.h"

namespace zelv4 {

struct CliContext;
class DevicePlatform;

// What `read --all OUT` replaces in OUT with each device's port.
inline constexpr const char* PORT_PLACEHOLDER = "{port}";

// --all: `job` on every attached ISP device at once, one thread each (the device
// lock keeps two workers off one chip). A result line per device in port order,
// then a summary; the exit code is the most serious of theirs.
void RunOnAllDevices(CliContext& context, DevicePlatform& platform, const DeviceJob& job);

}  // namespace zelv4
