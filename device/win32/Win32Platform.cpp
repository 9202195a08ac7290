#include "device/win32/Win32Platform.h"

namespace zelv4 {

std::unique_ptr<DevicePlatform> CreateOsPlatform()
{
    return std::make_unique<Win32Platform>();
}

}  // namespace zelv4
