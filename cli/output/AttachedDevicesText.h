#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/IspDeviceInventory.h"

namespace zelv4 {

// "/dev/hidraw1  port 1-2.1", with the state when the device is not free.
std::string AttachedLine(const AttachedIspDevice& device);
// Each device's line, indented, one a line.
std::string AttachedText(const std::vector<AttachedIspDevice>& devices);
// The devices for --json: node, port and state.
nlohmann::json AttachedJson(const std::vector<AttachedIspDevice>& devices);

}  // namespace zelv4
