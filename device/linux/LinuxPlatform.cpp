#include "device/linux/LinuxPlatform.h"

namespace zelv4 {

std::unique_ptr<DevicePlatform> CreateOsPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

}  // namespace zelv4
