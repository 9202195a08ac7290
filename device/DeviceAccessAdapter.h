#pragma once

#include "core/IspDeviceAccess.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"

namespace zelv4 {

class DevicePlatform;

// The operations' view of one device connection and the bus scan, run on one
// platform, which must outlive it. Each adapter owns its own connection: two
// adapters are two programmers, and the device lock keeps them off one chip.
class DeviceAccessAdapter : public IspDeviceAccess {
public:
    explicit DeviceAccessAdapter(DevicePlatform& platform);
    DeviceAccessAdapter(const DeviceAccessAdapter&) = delete;
    DeviceAccessAdapter& operator=(const DeviceAccessAdapter&) = delete;

    bool IsOpen() const override { return m_connection.IsOpen(); }
    HidTransport* Device() override { return m_connection.Device(); }
    std::uint16_t FeatureReportLength() const override { return m_connection.Caps().FeatureReportByteLength; }

    void FindIspDevice() override { m_connection.FindIspDevice(); }
    std::string PlainMessage() const override { return m_connection.PlainMessage(); }
    void CloseIspDevice() override { m_connection.CloseIspDevice(); }

    int CountBusDevices() override { return m_scan.CountBusDevices(); }

    std::vector<std::string> DeniedPaths() const override { return m_connection.DeniedPaths(); }
    std::vector<std::string> BusyPaths() const override { return m_connection.BusyPaths(); }

    IspDeviceConnection& Connection() { return m_connection; }
    const IspDeviceConnection& Connection() const { return m_connection; }

private:
    IspDeviceConnection m_connection;
    UsbBusScan m_scan;
};

}  // namespace zelv4
