#pragma once

#include "device/HidPlatform.h"

namespace zelv4 {

// HID interfaces through SetupAPI and the HID class driver. Opening asks for no
// access rights and shares reading and writing, so a device that another program
// has open still opens; one programmer per chip is kept by a system-wide claim
// named after the device path (DeviceLock), held until the handle is closed.
class Win32HidPlatform : public HidPlatform {
public:
    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
};

}  // namespace zelv4
