#pragma once

#include <memory>
#include <string>

#include "core/Expected.h"

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

// The operating system's backend, the one CMake picked for this build; fails when a
// library it needs cannot be loaded.
Expected<std::unique_ptr<DevicePlatform>> CreateOsPlatform();

}  // namespace zelv4
