#pragma once

#include "HidPlatform.h"

namespace zelv4 {

// Simulated HID interfaces (to be filled in: scripted interfaces, failure flags,
// the ISP loader behind the matching one).
class SimHidPlatform : public HidPlatform {
public:
    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
};

}  // namespace zelv4
