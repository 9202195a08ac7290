#pragma once

#include "device/HidPlatform.h"

namespace zelv4 {

// HID interfaces through SetupAPI and the HID class driver. Opening asks for no
// access rights and shares reading and writing, so a device that another program
// has open still opens; one programmer per chip is kept by a system-wide claim
// named after the device path (NamedClaim), held until the handle is closed.
class Win32HidPlatform : public HidPlatform {
public:
    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
    // From the "vid_XXXX&pid_XXXX" part of the path, which USB HID interfaces
    // carry; none for a path without it (Bluetooth and other buses).
    std::optional<HidAttributes> PeekAttributes(const std::string& path) override;
};

}  // namespace zelv4
