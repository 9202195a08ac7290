#pragma once

#include <cstddef>
#include <cstdint>

namespace zelv4 {

// The two HID calls the ISP loader is driven with. Byte 0 of every buffer is the
// report ID; `length` counts it and is passed to the device unchanged.
class HidTransport {
public:
    virtual ~HidTransport() = default;

    virtual bool SetFeature(const std::uint8_t* report, std::size_t length) = 0;
    virtual bool GetFeature(std::uint8_t* report, std::size_t length) = 0;
};

}  // namespace zelv4
