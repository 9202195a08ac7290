#pragma once

#include "device/DevicePlatform.h"
#include "device/linux/HidrawPlatform.h"
#include "device/linux/LibusbBusPlatform.h"

namespace zelv4 {

// Linux: hidraw for the ISP device, udev and libusb for the bus scan. The two
// libraries are loaded by CreateOsPlatform, and stay until the process ends.
class LinuxPlatform : public DevicePlatform {
public:
    LinuxPlatform(const UdevApi& udev, const LibusbApi& usb) : m_hid(udev), m_usb(udev, usb) {}

    HidPlatform& Hid() override { return m_hid; }
    UsbBusPlatform& UsbBus() override { return m_usb; }

private:
    HidrawPlatform m_hid;
    LibusbBusPlatform m_usb;
};

}  // namespace zelv4
