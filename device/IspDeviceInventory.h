#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelv4 {

class HidPlatform;
struct FoundIspDevice;
struct HidSearchEvent;

// One ISP device attached now, as the search met it.
struct AttachedIspDevice {
    enum class State {
        Available,   // opened: free for a programmer
        Busy,        // another program holds it
        Denied,      // cannot be opened for lack of permission; may be the ISP device
        Unreadable,  // its report description cannot be read
    };
    std::string path;
    std::string port;  // empty: the platform cannot tell
    State state = State::Available;
};

// The device a search event is about, when it is an ISP device (or may be one).
std::optional<AttachedIspDevice> AttachedFrom(const HidSearchEvent& event, HidPlatform& platform);

// Every ISP device the search sees, in its order. Each is opened and checked without
// taking its lock, so that a listing never makes a programmer find a chip busy, and
// closed again; or, given `kept`, those free for a programmer are left open there,
// for the programmers to take (IspDeviceConnection::Offer) instead of searching again.
std::vector<AttachedIspDevice> ListIspDevices(HidPlatform& platform, std::vector<FoundIspDevice>* kept = nullptr);

// Whether the interface at `path` may be the ISP device, by the ids the system knows
// without opening it; when it knows none, only opening it tells.
bool MayBeIspDevice(HidPlatform& platform, const std::string& path);

// Whether an interface that appears is worth a search: chosen (an empty `chosen`
// takes all) and possibly the ISP device, as MayBeIspDevice tells.
std::function<bool(const std::string& path)> IspCandidates(HidPlatform& platform,
                                                           std::function<bool(const std::string& path)> chosen);

// Selections for IspDeviceConnection::SetSelection: the interface with this path,
// or the interfaces whose device hangs on this USB port.
std::function<bool(const std::string& path)> SelectPath(std::string path);
std::function<bool(const std::string& path)> SelectPort(HidPlatform& platform, std::string port);

}  // namespace zelv4
