#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "device/HidChangeMonitor.h"

namespace zelv4 {

class HidPlatform;

// How often a platform without change events is listed again.
inline constexpr unsigned HID_POLL_MILLISECONDS = 250;

// The fallback for a platform without change events: the interface list, taken
// again every HID_POLL_MILLISECONDS and compared with the one before.
class PollingHidMonitor : public HidChangeMonitor {
public:
    explicit PollingHidMonitor(HidPlatform& platform);

    std::vector<HidChange> Wait(std::chrono::milliseconds timeout) override;
    void Wake() override;

private:
    // Every interface's path; none when the listing failed on the way.
    std::optional<std::set<std::string>> List() const;

    HidPlatform& m_platform;
    std::set<std::string> m_listed;
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_wake = false;
};

}  // namespace zelv4
