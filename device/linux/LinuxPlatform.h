#pragma once

#include "device/DevicePlatform.h"
#include "device/linux/HidrawPlatform.h"
#include "device/linux/LibusbBusPlatform.h"

namespace zelv4 {

// Linux: hidraw for the ISP device, libusb for the bus scan.
class LinuxPlatform : public DevicePlatform {
public:
    HidPlatform& Hid() override { return m_hid; }
    UsbBusPlatform& UsbBus() override { return m_usb; }

private:
    HidrawPlatform m_hid;
    LibusbBusPlatform m_usb;
};

}  // namespace zelv4
