#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/IspDeviceInventory.h"

namespace CLI {
class App;
}

namespace zelv4 {

class HidPlatform;

// Which ISP device a command works on: --port PATH, --device NODE, --all, or none
// chosen (the one attached).
struct DeviceChoice {
    std::string port;
    std::string device;
    bool all = false;

    bool Chosen() const { return !port.empty() || !device.empty(); }
    // "on port 1-2.3", "at /dev/hidraw1".
    std::string Describe() const;
    // The search's selection; an empty function when none is chosen.
    std::function<bool(const std::string& path)> Selection(HidPlatform& platform) const;
};

// Adds --port and --device (and --all when `withAll`) to a device command.
void AddDeviceChoice(CLI::App& command, DeviceChoice& choice, bool withAll);

// "/dev/hidraw1  port 1-2.1", with the state when the device is not free.
std::string AttachedLine(const AttachedIspDevice& device);
void PrintAttached(std::ostream& out, const std::vector<AttachedIspDevice>& devices);
nlohmann::json AttachedJson(const std::vector<AttachedIspDevice>& devices);

}  // namespace zelv4
