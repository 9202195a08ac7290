#pragma once

#include <memory>

namespace zelv4 {

class HidPlatform;
class UsbBusPlatform;

// A complete set of platform backends. Each backend folder provides one.
class DevicePlatform {
public:
    virtual ~DevicePlatform() = default;
    virtual HidPlatform& Hid() = 0;
    virtual UsbBusPlatform& UsbBus() = 0;
};

// The operating system's backend, the one CMake picked for this build.
std::unique_ptr<DevicePlatform> CreateOsPlatform();

}  // namespace zelv4
