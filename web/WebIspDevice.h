#pragma once

#include <cstdint>

#include "core/IspDevicePort.h"
#include "core/UsbBusPort.h"
#include "web/WebHidTransport.h"

namespace zelv4 {

// The ISP device as a page sees it: the loaders the browser lets it use (chosen
// with Connect, or granted by policy), found with navigator.hid.getDevices().
// A page cannot scan the USB bus, so the bus count is unknown; it is taken as one
// device, which makes Auto wait for the loader rather than give up at once.
class WebIspDevice : public IspDevicePort, public UsbBusPort {
public:
    // The browser decides about permissions itself: a search notes nothing skipped
    // or held.
    IspSearchNotes FindIspDevice() override;
    void CloseIspDevice() override;
    // A page has no Ctrl-C: nothing stops the wait but the loader's arrival.
    void WaitForIspDevice(std::chrono::milliseconds timeout, const std::function<bool()>& stop) override;
    HidTransport* Device() const override { return m_open ? &m_transport : nullptr; }
    std::uint16_t FeatureReportLength() const override { return m_length; }

    int CountBusDevices() override { return 1; }

private:
    mutable WebHidTransport m_transport;
    bool m_open = false;
    std::uint16_t m_length = 0;
};

}  // namespace zelv4
