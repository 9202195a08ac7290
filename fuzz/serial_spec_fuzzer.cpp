// --serial texts come from the command line: any bytes must parse or be refused, and
// what parses must patch only inside the flash.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/SerialField.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zelv4;
    const Expected<SerialSpec> parsed = ParseSerialSpec(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) {
        if (parsed.error().message.empty())
            __builtin_trap();
        return 0;
    }
    const SerialSpec& spec = *parsed;
    const unsigned widest = spec.format.encoding == SerialEncoding::Decimal ? SERIAL_MAX_DIGITS : SERIAL_MAX_BYTES;
    if (spec.format.width < 1 || spec.format.width > widest || spec.step == std::optional<std::uint64_t>(0))
        __builtin_trap();
    static const std::bitset<ISP_IMAGE_SIZE> nothing;
    static const FirmwareImage image{};
    const bool usable = !CheckSerialField(spec, nothing, false);
    const SerialPatch patch = PatchSerial(image, spec.address, spec.format, spec.start.value_or(1));
    // A field the check accepts patches; one past the flash never does.
    if (usable && !patch)
        __builtin_trap();
    if (patch && spec.address + spec.format.width > ISP_IMAGE_SIZE)
        __builtin_trap();
    return 0;
}
