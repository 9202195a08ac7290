#pragma once

#include <memory>
#include <string>

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

// The operating system's backend, the one CMake picked for this build. Null, with the
// reason in `error`, when a library it needs cannot be loaded.
std::unique_ptr<DevicePlatform> CreateOsPlatform(std::string& error);

}  // namespace zelv4
