#include "cli/output/AttachedDevicesText.h"

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

std::string AttachedText(const std::vector<AttachedIspDevice>& devices)
{
    std::string text;
    for (const AttachedIspDevice& device : devices)
        text += "  " + AttachedLine(device) + "\n";
    return text;
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
