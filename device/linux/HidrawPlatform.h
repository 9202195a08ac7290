#pragma once

#include "device/HidPlatform.h"

namespace zelv4 {

struct UdevApi;

// HID interfaces through hidraw: udev lists the hidraw class and tells each node's
// HID and USB devices, /dev/hidrawN opens them, and the report descriptor stands in
// for the preparsed data.
class HidrawPlatform : public HidPlatform {
public:
    // `udev` must outlive the platform.
    explicit HidrawPlatform(const UdevApi& udev) : m_udev(udev) {}

    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
    // From the HID_ID property of the node's HID device, readable by anyone.
    std::optional<HidAttributes> PeekAttributes(const std::string& path) override;
    // From the bus number and port path of the node's USB device.
    std::optional<std::string> PortPath(const std::string& path) override;
    // udev's events for the hidraw class; the polling fallback when there are none.
    std::unique_ptr<HidChangeMonitor> MonitorChanges() override;

private:
    const UdevApi& m_udev;
};

}  // namespace zelv4
