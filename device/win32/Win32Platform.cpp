#include "device/win32/Win32Platform.h"

namespace zelv4 {

Expected<std::unique_ptr<DevicePlatform>> CreateOsPlatform()
{
    // The system's own DLLs, imported as the program starts: nothing can be missing.
    return std::unique_ptr<DevicePlatform>(std::make_unique<Win32Platform>());
}

}  // namespace zelv4
