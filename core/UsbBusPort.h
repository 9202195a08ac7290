#pragma once

namespace zelv4 {

// What Auto and Re-connect need of the USB bus: how many devices on it answer the
// product signature, whether or not they show up as the ISP device (a chip
// attached but not yet in ISP mode does not).
class UsbBusPort {
public:
    virtual ~UsbBusPort() = default;
    virtual int CountBusDevices() = 0;
};

}  // namespace zelv4
