#pragma once

#include <functional>
#include <string>

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

}  // namespace zelv4
