#pragma once

#include <cstddef>
#include <cstdint>

namespace zelv4 {

// Flash of the ZEL-V4: 20480 bytes, handled as 640 blocks of 32 bytes.
inline constexpr std::size_t ISP_IMAGE_SIZE = 0x5000;
inline constexpr std::size_t ISP_BLOCK_SIZE = 32;
inline constexpr std::size_t ISP_BLOCK_COUNT = ISP_IMAGE_SIZE / ISP_BLOCK_SIZE;

// Report ID byte plus 40 bytes: every byte that a request or reply layout uses.
inline constexpr std::size_t ISP_REPORT_SIZE = 41;

// Byte offsets inside a request or reply report.
inline constexpr std::size_t ISP_OFFSET_REPORT_ID = 0;
inline constexpr std::size_t ISP_OFFSET_COMMAND = 1;
inline constexpr std::size_t ISP_OFFSET_ADDRESS_HIGH = 2;
inline constexpr std::size_t ISP_OFFSET_ADDRESS_LOW = 3;
inline constexpr std::size_t ISP_OFFSET_DATA_LENGTH = 4;
inline constexpr std::size_t ISP_OFFSET_DATA = 9;

// The shortest feature report that carries a block request or reply: the data end
// at byte 40. A device declaring less cannot be written or read.
inline constexpr std::size_t ISP_BLOCK_REPORT_MIN = ISP_OFFSET_DATA + ISP_BLOCK_SIZE;

inline constexpr std::uint8_t ISP_REPORT_ID = 0x00;
inline constexpr std::uint8_t ISP_CMD_MASS_ERASE = 0xA7;
inline constexpr std::uint8_t ISP_CMD_WRITE_BLOCK = 0xA8;
inline constexpr std::uint8_t ISP_CMD_EXIT_ISP = 0xA9;
inline constexpr std::uint8_t ISP_CMD_READ_BLOCK = 0xAA;

inline constexpr std::uint16_t ISP_VENDOR_ID = 0x040B;
inline constexpr std::uint16_t ISP_PRODUCT_ID = 0x6876;

// Whether a HID interface's ids are the ISP loader's.
constexpr bool IsIspDeviceId(std::uint16_t vendorId, std::uint16_t productId)
{
    return vendorId == ISP_VENDOR_ID && productId == ISP_PRODUCT_ID;
}

}  // namespace zelv4
