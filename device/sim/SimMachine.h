#pragma once

#include <memory>
#include <optional>

#include "core/FirmwareImage.h"
#include "device/DevicePlatform.h"
#include "device/sim/SimHidPlatform.h"
#include "device/sim/SimIspLoader.h"
#include "device/sim/SimUsbTree.h"

namespace zelv4 {

// A whole simulated machine: its HID interfaces and its USB tree. A default
// constructed machine has nothing attached; tests script what they need.
class SimMachine : public DevicePlatform {
public:
    // The path of the default machine's ISP interface.
    static constexpr const char* DEFAULT_ISP_PATH = "sim:hid0";
    static constexpr const char* DEFAULT_OTHER_PATH = "sim:hid1";

    SimMachine();

    // The machine `--sim` runs on: a ZEL-V4 in ISP mode with a 41-byte feature
    // report, and one other HID interface (a keyboard) that does not match. The
    // loader starts with `flash` when given, erased otherwise.
    static std::unique_ptr<SimMachine> CreateDefault(const std::optional<FirmwareImage>& flash = std::nullopt);

    HidPlatform& Hid() override { return m_hid; }
    UsbBusPlatform& UsbBus() override { return m_usb; }

    SimHidPlatform& HidInterfaces() { return m_hid; }
    SimUsbTree& UsbTree() { return m_usb; }

    // The loader behind the machine's ISP interface; every machine has one, attached
    // to an interface only when the machine was scripted so.
    SimIspLoader& Loader() { return *m_loader; }
    const std::shared_ptr<SimIspLoader>& LoaderPtr() const { return m_loader; }

private:
    SimHidPlatform m_hid;
    SimUsbTree m_usb;
    std::shared_ptr<SimIspLoader> m_loader;
};

}  // namespace zelv4
