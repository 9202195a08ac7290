#pragma once

#include "DevicePlatform.h"
#include "SimHidPlatform.h"
#include "SimUsbTree.h"

namespace zelv4 {

// A whole simulated machine: its HID interfaces and its USB tree.
class SimMachine : public DevicePlatform {
public:
    HidPlatform& Hid() override { return m_hid; }
    UsbBusPlatform& UsbBus() override { return m_usb; }

    SimHidPlatform& HidInterfaces() { return m_hid; }
    SimUsbTree& UsbTree() { return m_usb; }

private:
    SimHidPlatform m_hid;
    SimUsbTree m_usb;
};

}  // namespace zelv4
