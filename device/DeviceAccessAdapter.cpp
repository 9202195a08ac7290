#include "device/DeviceAccessAdapter.h"

#include "device/DevicePlatform.h"

namespace zelv4 {

DeviceAccessAdapter::DeviceAccessAdapter(DevicePlatform& platform)
    : m_connection(platform.Hid()), m_scan(platform.UsbBus())
{}

}  // namespace zelv4
