#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace zelv4 {

struct Uevent {
    std::string action;
    std::string devpath;
    std::string subsystem;
    std::string devname;
};

// Listens to uevents as a udev monitor does. Inside an emulated machine (under the
// preload library, after the testbed was made) the kernel's uevent socket is the
// testbed's, so this hears what the machine announces.
class UeventListener {
public:
    UeventListener();
    ~UeventListener();
    UeventListener(const UeventListener&) = delete;
    UeventListener& operator=(const UeventListener&) = delete;

    bool Listening() const { return m_fd >= 0; }
    // The next event, or none within `timeout`.
    std::optional<Uevent> Next(std::chrono::milliseconds timeout);

private:
    int m_fd = -1;
};

}  // namespace zelv4
