#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // The USB ports of the default machine's ISP interface and keyboard.
    static constexpr const char* DEFAULT_ISP_PORT = "1-1";
    static constexpr const char* DEFAULT_OTHER_PORT = "1-2";

    // Makes each chip's loader, for a feature report of this length.
    using LoaderMaker = std::function<std::shared_ptr<SimIspLoader>(std::size_t featureLength)>;

    SimMachine();

    // The machine `--sim` runs on: a ZEL-V4 in ISP mode with a 41-byte feature
    // report, and one other HID interface (a keyboard) that does not match. The
    // loader starts with `flash` when given, erased otherwise.
    static std::unique_ptr<SimMachine> CreateDefault(const std::optional<FirmwareImage>& flash = std::nullopt);

    HidPlatform& Hid() override { return *m_hid; }
    UsbBusPlatform& UsbBus() override { return m_usb; }

    SimHidPlatform& HidInterfaces() { return *m_hid; }
    SimUsbTree& UsbTree() { return m_usb; }

    // The loader behind the machine's ISP interface; every machine has one, attached
    // to an interface only when the machine was scripted so.
    SimIspLoader& Loader() { return *m_loader; }
    const std::shared_ptr<SimIspLoader>& LoaderPtr() const { return m_loader; }

    // A production line: one more ZEL-V4 in ISP mode, on the next port of a hub on
    // root port 3 ("1-3.1", "1-3.2", ...) as interface "sim:hid2", "sim:hid3", ...;
    // plugged `after` the machine was made (0: now). Returns its loader.
    std::shared_ptr<SimIspLoader> AddChip(std::chrono::milliseconds after = std::chrono::milliseconds(0));
    // Every chip's loader in the order added, Loader() first.
    const std::vector<std::shared_ptr<SimIspLoader>>& Chips() const { return m_chips; }
    // The interface path and port of chip `index` of Chips().
    static std::string ChipPath(std::size_t index);
    static std::string ChipPort(std::size_t index);
    // How long each transfer of every chip, present and future, takes.
    void SetTransferDelay(std::chrono::microseconds delay);

protected:
    // A machine on these interfaces, whose chips' loaders `makeLoader` makes (a
    // test's machine scripts failures into both).
    SimMachine(std::unique_ptr<SimHidPlatform> hid, LoaderMaker makeLoader);
    // What CreateDefault puts on a machine.
    void AddDefaultDevices(const std::optional<FirmwareImage>& flash);

private:
    std::unique_ptr<SimHidPlatform> m_hid;
    LoaderMaker m_makeLoader;
    SimUsbTree m_usb;
    std::shared_ptr<SimIspLoader> m_loader;
    std::vector<std::shared_ptr<SimIspLoader>> m_chips;
    std::chrono::microseconds m_delay{0};
};

}  // namespace zelv4
