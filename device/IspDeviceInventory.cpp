#include "device/IspDeviceInventory.h"

#include "core/IspConstants.h"
#include "device/HidPlatform.h"
#include "device/IspDeviceConnection.h"

namespace zelv4 {

std::optional<AttachedIspDevice> AttachedFrom(const HidSearchEvent& event, HidPlatform& platform)
{
    AttachedIspDevice device;
    switch (event.kind) {
    case HidSearchEventKind::Matched:
        device.state = AttachedIspDevice::State::Available;
        break;
    case HidSearchEventKind::Busy:
        device.state = AttachedIspDevice::State::Busy;
        break;
    case HidSearchEventKind::PreparsedFailed:
        device.state = AttachedIspDevice::State::Unreadable;
        break;
    case HidSearchEventKind::OpenDenied:
        if (!event.mayBeIspDevice)
            return std::nullopt;
        device.state = AttachedIspDevice::State::Denied;
        break;
    default:
        return std::nullopt;
    }
    device.path = event.path;
    device.port = platform.PortPath(event.path).value_or(std::string());
    return device;
}

std::vector<AttachedIspDevice> ListIspDevices(HidPlatform& platform, std::vector<FoundIspDevice>* kept)
{
    std::vector<AttachedIspDevice> devices;
    IspDeviceConnection connection(platform);
    connection.SetSearchLock(SearchLock::LookOnly);
    connection.KeepMatches(kept);
    connection.FindIspDevice(
        [&](const HidSearchEvent& event) {
            if (std::optional<AttachedIspDevice> device = AttachedFrom(event, platform))
                devices.push_back(std::move(*device));
        },
        SearchEnd::AfterLastInterface);
    connection.CloseIspDevice();
    return devices;
}

std::function<bool(const std::string& path)> SelectPath(std::string path)
{
    return [wanted = std::move(path)](const std::string& candidate) { return candidate == wanted; };
}

std::function<bool(const std::string& path)> SelectPort(HidPlatform& platform, std::string port)
{
    return [&platform, wanted = std::move(port)](const std::string& path) { return platform.PortPath(path) == wanted; };
}

bool MayBeIspDevice(HidPlatform& platform, const std::string& path)
{
    const std::optional<HidAttributes> ids = platform.PeekAttributes(path);
    return !ids || IsIspDeviceId(ids->VendorID, ids->ProductID);
}

std::function<bool(const std::string& path)> IspCandidates(HidPlatform& platform,
                                                           std::function<bool(const std::string& path)> chosen)
{
    return [&platform, chosen = std::move(chosen)](const std::string& path) {
        return (!chosen || chosen(path)) && MayBeIspDevice(platform, path);
    };
}

}  // namespace zelv4
