#pragma once

#include <string>

#include "device/HidPlatform.h"

namespace zelv4 {

// HID interfaces through hidraw: /sys/class/hidraw lists them, /dev/hidrawN opens
// them, and the report descriptor stands in for the preparsed data.
class HidrawPlatform : public HidPlatform {
public:
    // The roots are for tests; the defaults are the system's.
    explicit HidrawPlatform(std::string sysClassDir = "/sys/class/hidraw", std::string devDir = "/dev");

    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
    // From the HID_ID line of the node's device uevent in sysfs, readable by anyone.
    std::optional<HidAttributes> PeekAttributes(const std::string& path) override;
    // From the bus number and port path of the node's USB device in sysfs.
    std::optional<std::string> PortPath(const std::string& path) override;
    // udev's events for the hidraw class; the polling fallback when there are none.
    std::unique_ptr<HidChangeMonitor> MonitorChanges() override;

private:
    std::string m_sysClassDir;
    std::string m_devDir;
};

}  // namespace zelv4
