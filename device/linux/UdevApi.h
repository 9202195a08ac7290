#pragma once

#include <libudev.h>

#include <string>

#include "sys/SharedLibrary.h"

namespace zelv4 {

// The libudev functions the Linux backend uses, loaded when the backend is made, so
// that a command without devices never loads libudev.
#define ZELV4_UDEV_FUNCTIONS(X)                                                                                        \
    X(udev_new)                                                                                                        \
    X(udev_unref)                                                                                                      \
    X(udev_enumerate_new)                                                                                              \
    X(udev_enumerate_unref)                                                                                            \
    X(udev_enumerate_add_match_subsystem)                                                                              \
    X(udev_enumerate_add_match_sysname)                                                                                \
    X(udev_enumerate_scan_devices)                                                                                     \
    X(udev_enumerate_get_list_entry)                                                                                   \
    X(udev_list_entry_get_next)                                                                                        \
    X(udev_list_entry_get_name)                                                                                        \
    X(udev_device_new_from_subsystem_sysname)                                                                          \
    X(udev_device_unref)                                                                                               \
    X(udev_device_get_parent_with_subsystem_devtype)                                                                   \
    X(udev_device_get_sysattr_value)                                                                                   \
    X(udev_device_get_property_value)                                                                                  \
    X(udev_device_get_devnode)                                                                                         \
    X(udev_device_get_sysname)                                                                                         \
    X(udev_device_get_action)                                                                                          \
    X(udev_monitor_new_from_netlink)                                                                                   \
    X(udev_monitor_filter_add_match_subsystem_devtype)                                                                 \
    X(udev_monitor_enable_receiving)                                                                                   \
    X(udev_monitor_get_fd)                                                                                             \
    X(udev_monitor_receive_device)                                                                                     \
    X(udev_monitor_unref)

struct UdevApi {
    static constexpr const char* LIBRARY = "libudev.so.1";
    static constexpr const char* PACKAGE = "libudev1";

    ZELV4_LIBRARY_TABLE(ZELV4_UDEV_FUNCTIONS)
};

}  // namespace zelv4
