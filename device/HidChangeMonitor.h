#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelv4 {

struct HidChange {
    enum class Kind { Added, Removed };
    Kind kind = Kind::Added;
    std::string path;  // as the platform's interface list names it
};

// HID interfaces coming and going, so that a front end acts on a plugged device at
// once instead of searching again and again.
class HidChangeMonitor {
public:
    virtual ~HidChangeMonitor() = default;
    // The changes since the monitor was made or last returned some, in order;
    // waits at most `timeout` for one. Empty: none in time, or Wake was called.
    virtual std::vector<HidChange> Wait(std::chrono::milliseconds timeout) = 0;
    // Ends the Wait in progress, or the next one, early. Any thread may call it.
    virtual void Wake() = 0;
};

}  // namespace zelv4

namespace zelv4 {

// What a wait for an interface listens to: the platform's change monitor, made
// before the search that found nothing so that no arrival in between is missed,
// which interfaces count, and when the last wait was due: the waits keep their
// schedule, each ending one wait's length after the one before was due.
struct HidArrivalWatch {
    std::unique_ptr<HidChangeMonitor> monitor;
    std::function<bool(const std::string& path)> wanted;  // empty: any
    std::optional<std::chrono::steady_clock::time_point> due;
};

}  // namespace zelv4
