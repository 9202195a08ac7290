#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/DevicePlatform.h"
#include "device/HidPlatform.h"

namespace zelv4::test {

// A machine whose waits for an interface are recorded instead of spent, so that
// Auto's 31 one-second waits take no time in a test; everything else is the
// machine's own. Workers of --all and watch wait on their own threads.
class WaitRecordingMachine : public DevicePlatform, private HidPlatform {
public:
    WaitRecordingMachine(std::shared_ptr<DevicePlatform> inner, std::vector<unsigned>& waits, std::mutex& mutex)
        : m_inner(std::move(inner)), m_waits(waits), m_mutex(mutex)
    {}

    HidPlatform& Hid() override { return *this; }
    UsbBusPlatform& UsbBus() override { return m_inner->UsbBus(); }

private:
    std::unique_ptr<HidInterfaceList> GetClassDevices() override { return m_inner->Hid().GetClassDevices(); }
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override
    {
        return m_inner->Hid().Open(path, error);
    }
    std::optional<HidAttributes> PeekAttributes(const std::string& path) override
    {
        return m_inner->Hid().PeekAttributes(path);
    }
    std::optional<std::string> PortPath(const std::string& path) override { return m_inner->Hid().PortPath(path); }
    std::unique_ptr<HidChangeMonitor> MonitorChanges() override { return m_inner->Hid().MonitorChanges(); }
    void WaitForInterface(std::chrono::milliseconds timeout, HidArrivalWatch* /*arrivals*/,
                          const std::function<bool()>& /*stop*/) override
    {
        const std::lock_guard lock(m_mutex);
        m_waits.push_back(static_cast<unsigned>(timeout.count()));
    }

    std::shared_ptr<DevicePlatform> m_inner;
    std::vector<unsigned>& m_waits;
    std::mutex& m_mutex;
};

}  // namespace zelv4::test
