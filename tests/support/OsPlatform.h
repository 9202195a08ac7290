#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "device/DevicePlatform.h"

namespace zelv4::test {

// The system's device backend, for tests that run it on an emulated machine. Throws,
// failing the test, when a library it needs cannot be loaded.
inline std::unique_ptr<DevicePlatform> OsPlatform()
{
    Expected<std::unique_ptr<DevicePlatform>> platform = CreateOsPlatform();
    if (!platform)
        throw std::runtime_error(platform.error().message);
    return std::move(*platform);
}

}  // namespace zelv4::test
