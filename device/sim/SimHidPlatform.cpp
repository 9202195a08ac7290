#include "SimHidPlatform.h"

namespace zelv4 {

std::unique_ptr<HidInterfaceList> SimHidPlatform::GetClassDevices()
{
    return nullptr;
}

std::unique_ptr<HidDeviceHandle> SimHidPlatform::Open(const std::string& /*path*/, HidOpenError& error)
{
    error = HidOpenError::Failed;
    return nullptr;
}

}  // namespace zelv4
