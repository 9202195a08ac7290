#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/linux/UdevApi.h"

namespace zelv4 {

// One device in sysfs, read through libudev: its attributes, its udev properties,
// its node, and its ancestors. Each device found keeps a udev context of its own:
// libudev's objects belong to one thread, and programmers on several threads look
// at once.
class UdevDevice {
public:
    // The device named `sysname` in `subsystem` ("hidraw", "hidraw3"; "usb", "1-2.3");
    // none when sysfs has no such device.
    static std::optional<UdevDevice> Find(const UdevApi& api, const char* subsystem, const std::string& sysname);

    // The nearest ancestor in `subsystem`, of `devtype` unless null.
    std::optional<UdevDevice> Ancestor(const char* subsystem, const char* devtype) const;
    std::optional<std::string> Attribute(const char* name) const;
    std::optional<std::string> Property(const char* name) const;
    // Its node in /dev; none when it has no node.
    std::optional<std::string> Node() const;

private:
    UdevDevice(const UdevApi& api, std::shared_ptr<udev> context, std::shared_ptr<udev_device> owner,
               udev_device* device)
        : m_api(&api), m_context(std::move(context)), m_owner(std::move(owner)), m_device(device)
    {}

    const UdevApi* m_api;
    std::shared_ptr<udev> m_context;
    // The device looked up; an ancestor belongs to it.
    std::shared_ptr<udev_device> m_owner;
    udev_device* m_device;
};

// The names of the devices in `subsystem` (those that match the shell pattern
// `sysnames`, unless it is null), in no particular order; none when udev cannot list
// them.
std::optional<std::vector<std::string>> ListUdevDevices(const UdevApi& api, const char* subsystem,
                                                        const char* sysnames = nullptr);

}  // namespace zelv4
