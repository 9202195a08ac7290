#include "device/linux/UdevDevice.h"

namespace zelv4 {

namespace {

std::optional<std::string> Text(const char* value)
{
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::shared_ptr<udev> NewContext(const UdevApi& api)
{
    udev* context = api.udev_new();
    if (context == nullptr)
        return nullptr;
    return std::shared_ptr<udev>(context, api.udev_unref);
}

}  // namespace

std::optional<UdevDevice> UdevDevice::Find(const UdevApi& api, const char* subsystem, const std::string& sysname)
{
    std::shared_ptr<udev> context = NewContext(api);
    if (!context)
        return std::nullopt;
    udev_device* device = api.udev_device_new_from_subsystem_sysname(context.get(), subsystem, sysname.c_str());
    if (device == nullptr)
        return std::nullopt;
    std::shared_ptr<udev_device> owner(device, api.udev_device_unref);
    return UdevDevice(api, std::move(context), std::move(owner), device);
}

std::optional<UdevDevice> UdevDevice::Ancestor(const char* subsystem, const char* devtype) const
{
    udev_device* ancestor = m_api->udev_device_get_parent_with_subsystem_devtype(m_device, subsystem, devtype);
    if (ancestor == nullptr)
        return std::nullopt;
    return UdevDevice(*m_api, m_context, m_owner, ancestor);
}

std::optional<std::string> UdevDevice::Attribute(const char* name) const
{
    return Text(m_api->udev_device_get_sysattr_value(m_device, name));
}

std::optional<std::string> UdevDevice::Property(const char* name) const
{
    return Text(m_api->udev_device_get_property_value(m_device, name));
}

std::optional<std::string> UdevDevice::Node() const
{
    return Text(m_api->udev_device_get_devnode(m_device));
}

std::optional<std::vector<std::string>> ListUdevDevices(const UdevApi& api, const char* subsystem, const char* sysnames)
{
    const std::shared_ptr<udev> context = NewContext(api);
    if (!context)
        return std::nullopt;
    const std::unique_ptr<udev_enumerate, decltype(api.udev_enumerate_unref)> enumerate(
        api.udev_enumerate_new(context.get()), api.udev_enumerate_unref);
    if (!enumerate || api.udev_enumerate_add_match_subsystem(enumerate.get(), subsystem) < 0 ||
        (sysnames != nullptr && api.udev_enumerate_add_match_sysname(enumerate.get(), sysnames) < 0) ||
        api.udev_enumerate_scan_devices(enumerate.get()) < 0)
        return std::nullopt;
    std::vector<std::string> names;
    for (udev_list_entry* entry = api.udev_enumerate_get_list_entry(enumerate.get()); entry != nullptr;
         entry = api.udev_list_entry_get_next(entry)) {
        // The entries are syspaths; the device's name is the last part.
        const std::string path = api.udev_list_entry_get_name(entry);
        names.push_back(path.substr(path.rfind('/') + 1));
    }
    return names;
}

}  // namespace zelv4
