#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/UsbBusPlatform.h"

struct libusb_context;

namespace zelv4 {

struct LibusbApi;
struct UdevApi;

// The bus as udev sees it in sysfs, with libusb (over usbfs) for the requests sent to
// a device. Host controllers are the root hubs in bus number order; hubs are named
// after their place, "usb:B" for the root hub of bus B and "usb:B-P.P" below it. A
// hub's ports are looked up by the names the kernel gives the devices on them, so
// nothing lists the whole bus but the count of root hubs at the start of a scan.
// libusb's context is made on first use, so an unused platform costs nothing. Hubs
// and controllers opened from it must not outlive it, nor it the two APIs.
class LibusbBusPlatform : public UsbBusPlatform {
public:
    LibusbBusPlatform(const UdevApi& udev, const LibusbApi& usb) : m_udev(udev), m_usb(usb) {}
    ~LibusbBusPlatform() override;
    LibusbBusPlatform(const LibusbBusPlatform&) = delete;
    LibusbBusPlatform& operator=(const LibusbBusPlatform&) = delete;

    // A scan asks for controller 0 first: the root hubs are listed then, and the
    // other controllers of that scan come from the same list.
    std::unique_ptr<UsbHostController> OpenHostController(unsigned index) override;
    std::unique_ptr<UsbHub> OpenHub(const std::string& name) override;

private:
    libusb_context* Context();
    std::vector<unsigned> RootHubBuses();

    const UdevApi& m_udev;
    const LibusbApi& m_usb;
    libusb_context* m_context = nullptr;
    bool m_initFailed = false;
    std::optional<std::vector<unsigned>> m_buses;
    std::mutex m_mutex;
};

}  // namespace zelv4
