#include "cli/run/DeviceChoice.h"

#include <CLI/CLI.hpp>

#include "device/HidPlatform.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

std::string DeviceChoice::Describe() const
{
    return !port.empty() ? "on port " + port : "at " + device;
}

std::function<bool(const std::string& path)> DeviceChoice::Selection(HidPlatform& platform) const
{
    if (!port.empty())
        return SelectPort(platform, port);
    if (!device.empty())
        return SelectPath(device);
    return {};
}

void AddDeviceChoice(CLI::App& command, DeviceChoice& choice, bool withAll)
{
    CLI::Option* port = command.add_option("--port", choice.port,
                                           "The ISP device on this USB port (bus-port.port..., as list shows it)");
    CLI::Option* device =
        command.add_option("--device", choice.device, "The ISP device with this node (list shows it)");
    port->excludes(device);
    if (withAll) {
        CLI::Option* all = command.add_flag("--all", choice.all,
                                            "Every attached ISP device at once, one thread each; a result line "
                                            "per device, then a summary");
        all->excludes(port)->excludes(device);
    }
}

}  // namespace zelv4
