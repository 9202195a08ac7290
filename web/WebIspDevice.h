#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/IspDeviceAccess.h"
#include "web/WebHidTransport.h"

namespace zelv4 {

// The ISP device as a page sees it: the loaders the browser lets it use (chosen
// with Connect, or granted by policy), found with navigator.hid.getDevices().
// A page cannot scan the USB bus, so the bus count is unknown; it is taken as one
// device, which makes Auto wait for the loader rather than give up at once.
class WebIspDevice : public IspDeviceAccess {
public:
    bool IsOpen() const override { return m_open; }
    HidTransport* Device() override { return m_open ? &m_transport : nullptr; }
    std::uint16_t FeatureReportLength() const override { return m_length; }

    void FindIspDevice() override;
    std::string PlainMessage() const override { return {}; }
    void CloseIspDevice() override;

    int CountBusDevices() override { return 1; }

    // The browser decides about permissions itself: nothing is skipped or held here.
    std::vector<std::string> DeniedPaths() const override { return {}; }
    std::vector<std::string> BusyPaths() const override { return {}; }

private:
    WebHidTransport m_transport;
    bool m_open = false;
    std::uint16_t m_length = 0;
};

}  // namespace zelv4
