#pragma once

#include "UsbBusPlatform.h"

namespace zelv4 {

// Simulated USB tree (to be filled in: controllers, hubs, ports, signature devices).
class SimUsbTree : public UsbBusPlatform {
public:
    std::unique_ptr<UsbHostController> OpenHostController(unsigned index) override;
    std::unique_ptr<UsbHub> OpenHub(const std::string& name) override;
};

}  // namespace zelv4
