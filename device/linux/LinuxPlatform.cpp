#include "device/linux/LinuxPlatform.h"

#include "device/linux/LibusbApi.h"
#include "device/linux/UdevApi.h"
#include "sys/SharedLibrary.h"

namespace zelv4 {

Expected<std::unique_ptr<DevicePlatform>> CreateOsPlatform()
{
    const Expected<const UdevApi*> udev = LoadLibraryApi<UdevApi>();
    if (!udev)
        return Unexpected(udev.error());
    const Expected<const LibusbApi*> usb = LoadLibraryApi<LibusbApi>();
    if (!usb)
        return Unexpected(usb.error());
    return std::unique_ptr<DevicePlatform>(std::make_unique<LinuxPlatform>(**udev, **usb));
}

}  // namespace zelv4
