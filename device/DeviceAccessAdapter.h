#pragma once

#include "core/IspDeviceAccess.h"

namespace zelv4 {

class DevicePlatform;

// The operations' view of the device connection and the bus scan, run on one
// platform. Constructing it points the process-wide search and scan at that
// platform; the platform must outlive it.
class DeviceAccessAdapter : public IspDeviceAccess {
public:
    explicit DeviceAccessAdapter(DevicePlatform& platform);
    // Leaves the search and the scan without a platform, so that neither reaches
    // this one after it is gone.
    ~DeviceAccessAdapter() override;
    DeviceAccessAdapter(const DeviceAccessAdapter&) = delete;
    DeviceAccessAdapter& operator=(const DeviceAccessAdapter&) = delete;

    bool IsOpen() const override;
    HidTransport* Device() override;
    std::uint16_t FeatureReportLength() const override;

    void FindIspDevice() override;
    void CloseIspDevice() override;

    int CountBusDevices() override;

    std::vector<std::string> DeniedPaths() const override;
    std::vector<std::string> BusyPaths() const override;

private:
    DevicePlatform& m_platform;
};

}  // namespace zelv4
