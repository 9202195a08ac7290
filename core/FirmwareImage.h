#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/IspConstants.h"

namespace zelv4 {

// The whole programmable flash; byte i is the content of flash address i.
using FirmwareImage = std::array<std::uint8_t, ISP_IMAGE_SIZE>;

// 16-bit additive sum of all 20480 bytes, the zero fill included.
std::uint16_t ImageChecksum(const FirmwareImage& image);

// "%4x", upper-cased, then "h": 0x0ABC gives " ABCh", 0 gives "   0h".
std::string ChecksumText(std::uint16_t checksum);

}  // namespace zelv4
