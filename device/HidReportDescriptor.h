#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "device/HidPlatform.h"

namespace zelv4 {

// Limits on a report descriptor read from a device: anything past them is refused
// as malformed rather than trusted.
inline constexpr std::size_t HID_DESCRIPTOR_MAX_BYTES = 4096;            // the kernel's own bound
inline constexpr unsigned HID_DESCRIPTOR_MAX_PUSH_DEPTH = 16;            // Push items nested
inline constexpr unsigned HID_DESCRIPTOR_MAX_COLLECTION_DEPTH = 64;      // Collection items nested
inline constexpr std::uint32_t HID_DESCRIPTOR_MAX_REPORT_SIZE = 256;     // one field's Report Size
inline constexpr std::uint32_t HID_DESCRIPTOR_MAX_REPORT_COUNT = 12288;  // one field's Report Count
// A report must fit the 16-bit byte lengths of the capability record, ID byte included.
inline constexpr std::uint32_t HID_DESCRIPTOR_MAX_REPORT_BITS = (0xFFFFu - 1u) * 8u;

// Reads a HID report descriptor and fills the capability record the way the HID
// class does: each report length is the longest report of that kind in bytes plus
// one for the report ID byte, which is counted whether or not the device uses
// report IDs; a kind with no reports has length 0. Usage and UsagePage are those of
// the first top-level collection. Button and value caps are counted per main item:
// a 1-bit variable field or an array field is a button, any other data field a
// value. Returns nothing when the descriptor is malformed.
std::optional<HidCaps> ParseHidReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace zelv4
