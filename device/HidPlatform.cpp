#include "device/HidPlatform.h"

#include <algorithm>
#include <thread>

#include "device/PollingHidMonitor.h"

namespace zelv4 {

namespace {

// How often a wait looks whether it was asked to stop.
constexpr std::chrono::milliseconds STOP_CHECK{100};

}  // namespace

std::unique_ptr<HidChangeMonitor> HidPlatform::MonitorChanges()
{
    return std::make_unique<PollingHidMonitor>(*this);
}

void HidPlatform::WaitForInterface(std::chrono::milliseconds timeout, HidArrivalWatch* arrivals,
                                   const std::function<bool()>& stop)
{
    const auto now = std::chrono::steady_clock::now();
    HidChangeMonitor* monitor = arrivals != nullptr ? arrivals->monitor.get() : nullptr;
    // Without a monitor the waits keep no schedule of their own.
    const auto due = (monitor != nullptr ? std::max(now, arrivals->due.value_or(now)) : now) + timeout;
    if (monitor != nullptr)
        arrivals->due = due;
    for (auto left = due - now; left.count() > 0 && !(stop && stop()); left = due - std::chrono::steady_clock::now()) {
        const auto slice = std::min(std::chrono::ceil<std::chrono::milliseconds>(left), STOP_CHECK);
        if (monitor == nullptr) {
            std::this_thread::sleep_for(slice);
            continue;
        }
        for (const HidChange& change : monitor->Wait(slice))
            if (change.kind == HidChange::Kind::Added && (!arrivals->wanted || arrivals->wanted(change.path)))
                return;
    }
}

}  // namespace zelv4
