#pragma once

#include <chrono>
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
