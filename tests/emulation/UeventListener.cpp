#include "emulation/UeventListener.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace zelv4 {

namespace {

// udev's own messages: "libudev\0", a magic, sizes, then KEY=value\0 properties.
constexpr char UDEV_PREFIX[] = "libudev";
constexpr std::size_t UDEV_PROPERTIES_OFFSET_AT = 16;
constexpr unsigned UDEV_MONITOR_GROUP = 2;

}  // namespace

UeventListener::UeventListener() : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT))
{
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = UDEV_MONITOR_GROUP;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

UeventListener::~UeventListener()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<Uevent> UeventListener::Next(std::chrono::milliseconds timeout)
{
    pollfd ready{m_fd, POLLIN, 0};
    if (m_fd < 0 || ::poll(&ready, 1, static_cast<int>(timeout.count())) <= 0)
        return std::nullopt;
    char buffer[8192];
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer - 1, 0);
    if (got <= 0)
        return std::nullopt;
    buffer[got] = '\0';
    std::size_t at = std::strlen(buffer) + 1;  // the kernel's "action@devpath" header
    if (std::memcmp(buffer, UDEV_PREFIX, sizeof UDEV_PREFIX) == 0 &&
        static_cast<std::size_t>(got) >= UDEV_PROPERTIES_OFFSET_AT + sizeof(std::uint32_t)) {
        std::uint32_t offset = 0;
        std::memcpy(&offset, buffer + UDEV_PROPERTIES_OFFSET_AT, sizeof offset);
        at = offset;
    }
    Uevent event;
    for (; at < static_cast<std::size_t>(got); at += std::strlen(buffer + at) + 1) {
        const std::string property = buffer + at;
        const std::string value = property.substr(property.find('=') + 1);
        if (property.starts_with("ACTION="))
            event.action = value;
        else if (property.starts_with("DEVPATH="))
            event.devpath = value;
        else if (property.starts_with("SUBSYSTEM="))
            event.subsystem = value;
        else if (property.starts_with("DEVNAME="))
            event.devname = value.starts_with("/") ? value : "/dev/" + value;
    }
    return event;
}

}  // namespace zelv4
