#include "device/PollingHidMonitor.h"

#include <algorithm>

#include "device/HidPlatform.h"

namespace zelv4 {

PollingHidMonitor::PollingHidMonitor(HidPlatform& platform)
    : m_platform(platform), m_listed(List().value_or(std::set<std::string>()))
{}

std::optional<std::set<std::string>> PollingHidMonitor::List() const
{
    std::set<std::string> paths;
    const std::unique_ptr<HidInterfaceList> list = m_platform.GetClassDevices();
    if (!list)
        return std::nullopt;
    for (unsigned index = 0; list->EnumInterface(index); ++index) {
        const std::optional<std::string> path = list->InterfacePath(index);
        if (!path)
            return std::nullopt;
        paths.insert(*path);
    }
    return paths;
}

std::vector<HidChange> PollingHidMonitor::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            const auto next =
                std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(HID_POLL_MILLISECONDS));
            m_woken.wait_until(lock, next, [this] { return m_wake; });
            if (m_wake) {
                m_wake = false;
                return {};
            }
        }
        // A listing that failed on the way says nothing of what left: the chips in
        // it would seem pulled and plugged again, and be programmed twice.
        const std::optional<std::set<std::string>> current = List();
        if (!current) {
            if (std::chrono::steady_clock::now() >= deadline)
                return {};
            continue;
        }
        const std::set<std::string>& listed = *current;
        std::vector<HidChange> changes;
        for (const std::string& path : m_listed)
            if (listed.count(path) == 0)
                changes.push_back({HidChange::Kind::Removed, path});
        for (const std::string& path : listed)
            if (m_listed.count(path) == 0)
                changes.push_back({HidChange::Kind::Added, path});
        m_listed = listed;
        if (!changes.empty() || std::chrono::steady_clock::now() >= deadline)
            return changes;
    }
}

void PollingHidMonitor::Wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_wake = true;
    }
    m_woken.notify_all();
}

}  // namespace zelv4
