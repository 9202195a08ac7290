#include "device/win32/Win32Platform.h"

namespace zelv4 {

std::unique_ptr<DevicePlatform> CreateOsPlatform(std::string& /*error*/)
{
    // The system's own DLLs, imported as the program starts: nothing can be missing.
    return std::make_unique<Win32Platform>();
}

}  // namespace zelv4
