#pragma once

#include <nlohmann/json.hpp>

#include "cli/CommandResult.h"
#include "cli/run/DeviceOperation.h"

namespace zelv4 {

class ChipHooks;
class DevicePlatform;
class Interruption;

// What `read --all OUT` replaces in OUT with each device's port.
inline constexpr const char* PORT_PLACEHOLDER = "{port}";

// --all: `request` on every attached ISP device at once, one thread each (the device
// lock keeps two workers off one chip). The listing opens each device once, and
// each worker takes its device from it instead of searching again. A result line
// per device in port order, then a summary; the exit code is the most serious of
// theirs. `details` are the command's so far (the firmware's).
CommandResult RunOnAllDevices(DevicePlatform& platform, const OperationRequest& request,
                              const Interruption& interruption, nlohmann::json details, ChipHooks* hooks = nullptr);

}  // namespace zelv4
