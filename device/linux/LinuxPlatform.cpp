#include "device/linux/LinuxPlatform.h"

#include "device/linux/LibusbApi.h"
#include "device/linux/UdevApi.h"
#include "sys/SharedLibrary.h"

namespace zelv4 {

std::unique_ptr<DevicePlatform> CreateOsPlatform(std::string& error)
{
    const UdevApi* udev = LoadLibraryApi<UdevApi>(error);
    const LibusbApi* usb = udev != nullptr ? LoadLibraryApi<LibusbApi>(error) : nullptr;
    if (usb == nullptr)
        return nullptr;
    return std::make_unique<LinuxPlatform>(*udev, *usb);
}

}  // namespace zelv4
