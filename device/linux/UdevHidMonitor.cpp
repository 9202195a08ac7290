#include "device/linux/UdevHidMonitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace zelv4 {

std::unique_ptr<UdevHidMonitor> UdevHidMonitor::Create(const UdevApi& api, const std::string& devDir)
{
    udev* context = api.udev_new();
    if (context == nullptr)
        return nullptr;
    udev_monitor* monitor = api.udev_monitor_new_from_netlink(context, "udev");
    // The filter runs in the kernel: other classes' events never queue up unread.
    if (monitor == nullptr || api.udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        api.udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor != nullptr)
            api.udev_monitor_unref(monitor);
        api.udev_unref(context);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        api.udev_monitor_unref(monitor);
        api.udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<UdevHidMonitor>(new UdevHidMonitor(api, context, monitor, wakeFd, devDir));
}

UdevHidMonitor::UdevHidMonitor(const UdevApi& api, udev* context, udev_monitor* monitor, int wakeFd, std::string devDir)
    : m_api(api), m_udev(context), m_monitor(monitor), m_wakeFd(wakeFd), m_devDir(std::move(devDir))
{}

UdevHidMonitor::~UdevHidMonitor()
{
    ::close(m_wakeFd);
    m_api.udev_monitor_unref(m_monitor);
    m_api.udev_unref(m_udev);
}

void UdevHidMonitor::Drain(std::vector<HidChange>& changes)
{
    while (udev_device* device = m_api.udev_monitor_receive_device(m_monitor)) {
        const char* action = m_api.udev_device_get_action(device);
        const char* name = m_api.udev_device_get_sysname(device);
        if (action != nullptr && name != nullptr) {
            const std::string path = m_devDir + "/" + name;
            if (std::strcmp(action, "add") == 0)
                changes.push_back({HidChange::Kind::Added, path});
            else if (std::strcmp(action, "remove") == 0)
                changes.push_back({HidChange::Kind::Removed, path});
        }
        m_api.udev_device_unref(device);
    }
}

std::vector<HidChange> UdevHidMonitor::Wait(std::chrono::milliseconds timeout)
{
    std::vector<HidChange> changes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fds[2] = {{m_api.udev_monitor_get_fd(m_monitor), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(0, left.count())));
        if (ready < 0 && errno != EINTR)
            return changes;
        if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
            Drain(changes);
            return changes;
        }
        if (ready > 0)
            Drain(changes);
        // Other devices' events (a node's change) leave nothing to return: wait on.
        if (!changes.empty() || std::chrono::steady_clock::now() >= deadline)
            return changes;
    }
}

void UdevHidMonitor::Wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

}  // namespace zelv4
