// Report descriptors come from the device: any bytes must parse or be refused
// without reading past the buffer, and every length produced must fit the record.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/HidReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto caps = zelv4::ParseHidReportDescriptor(std::span<const std::uint8_t>(data, size));
    if (caps && size > zelv4::HID_DESCRIPTOR_MAX_BYTES)
        __builtin_trap();
    if (caps && caps->NumberLinkCollectionNodes == 0)
        __builtin_trap();
    return 0;
}
