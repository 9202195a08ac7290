#pragma once

#include <nlohmann/json.hpp>

#include "cli/Command.h"
#include "cli/run/DeviceOperation.h"

namespace zelv4 {

class ChipHooks;
class DevicePlatform;
class Interruption;
struct DeviceChoice;

// One operation on the one ISP device chosen (or the only one attached), as the
// window's button runs it, with progress on a terminal, Auto's waits ending as soon
// as the chip appears, and Ctrl-C stopping its requests. With several devices
// attached and none chosen it refuses rather than guess, as dfu-util does.
// `details` are the command's so far (the firmware's); the operation's own replace
// them.
CommandResult RunOnOneDevice(DevicePlatform& platform, const OperationRequest& request, const DeviceChoice& choice,
                             const GlobalOptions& options, CommandServices& services, const Interruption& interruption,
                             nlohmann::json details, ChipHooks* hooks = nullptr);

}  // namespace zelv4
