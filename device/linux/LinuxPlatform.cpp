#include "DevicePlatform.h"

namespace zelv4 {

std::unique_ptr<DevicePlatform> CreateOsPlatform()
{
    return nullptr;
}

}  // namespace zelv4
