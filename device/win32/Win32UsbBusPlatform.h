#pragma once

#include "device/UsbBusPlatform.h"

namespace zelv4 {

// The bus through the USB host controller and hub drivers: controllers are
// \\.\HCD0 to \\.\HCD9, hubs are opened by the names the drivers report, and each
// question is one DeviceIoControl on the controller or hub.
class Win32UsbBusPlatform : public UsbBusPlatform {
public:
    std::unique_ptr<UsbHostController> OpenHostController(unsigned index) override;
    std::unique_ptr<UsbHub> OpenHub(const std::string& name) override;
};

}  // namespace zelv4
