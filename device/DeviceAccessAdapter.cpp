#include "device/DeviceAccessAdapter.h"

#include "device/DevicePlatform.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"

namespace zelv4 {

DeviceAccessAdapter::DeviceAccessAdapter(DevicePlatform& platform) : m_platform(platform)
{
    SetHidPlatform(&m_platform.Hid());
    SetUsbBusPlatform(&m_platform.UsbBus());
}

DeviceAccessAdapter::~DeviceAccessAdapter()
{
    // Every call through an adapter points the search and the scan at its platform
    // first, so another adapter still alive is not affected.
    SetHidPlatform(nullptr);
    SetUsbBusPlatform(nullptr);
}

bool DeviceAccessAdapter::IsOpen() const
{
    return g_hIspDevice != nullptr;
}

HidTransport* DeviceAccessAdapter::Device()
{
    return g_hIspDevice.get();
}

std::uint16_t DeviceAccessAdapter::FeatureReportLength() const
{
    return g_IspCaps.FeatureReportByteLength;
}

void DeviceAccessAdapter::FindIspDevice()
{
    SetHidPlatform(&m_platform.Hid());
    zelv4::FindIspDevice();
}

void DeviceAccessAdapter::CloseIspDevice()
{
    zelv4::CloseIspDevice();
}

int DeviceAccessAdapter::CountBusDevices()
{
    SetUsbBusPlatform(&m_platform.UsbBus());
    return zelv4::CountBusDevices();
}

std::vector<std::string> DeviceAccessAdapter::DeniedPaths() const
{
    return IspDeniedPaths();
}

std::vector<std::string> DeviceAccessAdapter::BusyPaths() const
{
    return IspBusyPaths();
}

}  // namespace zelv4
