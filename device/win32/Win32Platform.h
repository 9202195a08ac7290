#pragma once

#include "device/DevicePlatform.h"
#include "device/win32/Win32HidPlatform.h"
#include "device/win32/Win32UsbBusPlatform.h"

namespace zelv4 {

// Windows: SetupAPI and the HID class driver for the ISP device, the hub driver
// for the bus scan.
class Win32Platform : public DevicePlatform {
public:
    HidPlatform& Hid() override { return m_hid; }
    UsbBusPlatform& UsbBus() override { return m_usb; }

private:
    Win32HidPlatform m_hid;
    Win32UsbBusPlatform m_usb;
};

}  // namespace zelv4
