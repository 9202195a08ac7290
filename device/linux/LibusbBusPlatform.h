#pragma once

#include <mutex>
#include <string>

#include "device/UsbBusPlatform.h"

struct libusb_context;

namespace zelv4 {

// The bus seen through libusb (usbfs and sysfs). Host controllers are the root hubs
// in bus number order; hubs are named after their place, "usb:B" for the root hub
// of bus B and "usb:B-P.P" below it. The libusb context is made on first use, so an
// unused platform costs nothing. Hubs and controllers opened from it must not
// outlive it.
class LibusbBusPlatform : public UsbBusPlatform {
public:
    LibusbBusPlatform() = default;
    ~LibusbBusPlatform() override;
    LibusbBusPlatform(const LibusbBusPlatform&) = delete;
    LibusbBusPlatform& operator=(const LibusbBusPlatform&) = delete;

    std::unique_ptr<UsbHostController> OpenHostController(unsigned index) override;
    std::unique_ptr<UsbHub> OpenHub(const std::string& name) override;

private:
    libusb_context* Context();

    libusb_context* m_context = nullptr;
    bool m_initFailed = false;
    std::mutex m_contextMutex;
};

}  // namespace zelv4
