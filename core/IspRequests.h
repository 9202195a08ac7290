#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/IspReportBuffers.h"

namespace zelv4 {

class HidTransport;

// Address bytes of block k: high byte is (32k) >> 8, low byte is (32k) & 0xFF.
std::uint8_t BlockAddressHigh(std::size_t block);
std::uint8_t BlockAddressLow(std::size_t block);

// Each request returns true when every HID call it made succeeded. A null device
// stands for the invalid handle: its first HID call fails. A report length too
// short for the request's layout (below 2 for erase and leave-ISP, below 41 for a
// block write or read) fails the request without a HID call.
bool IspMassErase(HidTransport* device, std::uint16_t length, IspReportBuffers& reports);
bool IspWriteBlock(HidTransport* device, std::uint16_t length, IspReportBuffers& reports, std::size_t block,
                   std::span<const std::uint8_t> data, bool withLength);
bool IspReadBlock(HidTransport* device, std::uint16_t length, IspReportBuffers& reports, std::size_t block,
                  std::span<std::uint8_t> out);
bool IspExitIsp(HidTransport* device, std::uint16_t length, IspReportBuffers& reports);

}  // namespace zelv4
