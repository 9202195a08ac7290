#include "cli/DeviceChoice.h"

#include <CLI/CLI.hpp>

#include "device/HidPlatform.h"

namespace zelv4 {

namespace {

const char* StateName(AttachedIspDevice::State state)
{
    switch (state) {
    case AttachedIspDevice::State::Available:
        return "available";
    case AttachedIspDevice::State::Busy:
        return "busy";
    case AttachedIspDevice::State::Denied:
        return "permission-denied";
    case AttachedIspDevice::State::Unreadable:
        return "unreadable";
    }
    return "available";
}

}  // namespace

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

std::string AttachedLine(const AttachedIspDevice& device)
{
    std::string line = device.path + "  port " + (device.port.empty() ? std::string("unknown") : device.port);
    switch (device.state) {
    case AttachedIspDevice::State::Available:
        break;
    case AttachedIspDevice::State::Busy:
        line += "  (in use by another program)";
        break;
    case AttachedIspDevice::State::Denied:
        line += "  (permission denied)";
        break;
    case AttachedIspDevice::State::Unreadable:
        line += "  (report descriptor unreadable)";
        break;
    }
    return line;
}

void PrintAttached(std::ostream& out, const std::vector<AttachedIspDevice>& devices)
{
    for (const AttachedIspDevice& device : devices)
        out << "  " << AttachedLine(device) << "\n";
}

nlohmann::json AttachedJson(const std::vector<AttachedIspDevice>& devices)
{
    nlohmann::json list = nlohmann::json::array();
    for (const AttachedIspDevice& device : devices) {
        list.push_back({{"device_path", device.path},
                        {"port", device.port.empty() ? nlohmann::json(nullptr) : nlohmann::json(device.port)},
                        {"state", StateName(device.state)}});
    }
    return list;
}

}  // namespace zelv4
