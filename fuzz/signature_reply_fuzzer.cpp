// A device's answer to the signature request: any bytes are taken as a string
// descriptor only when they are exactly one, and only "ZEL-V4" (up to a zero unit)
// counts as the signature.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "device/UsbBusScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto text = zelv4::SignatureReplyText(std::span<const std::uint8_t>(data, size));
    if (!text)
        return 0;
    if (size < 2 || size % 2 != 0 || data[0] != size || data[1] != 3 || 2 * text->size() + 2 != size)
        __builtin_trap();
    for (std::size_t i = 0; i < text->size(); ++i) {
        if ((*text)[i] != static_cast<char16_t>(data[2 + 2 * i] | (data[3 + 2 * i] << 8)))
            __builtin_trap();
    }
    const std::u16string_view signature = zelv4::PRODUCT_SIGNATURE;
    const bool matched = zelv4::IsProductSignature(*text);
    const bool expected =
        text->starts_with(signature) && (text->size() == signature.size() || (*text)[signature.size()] == u'\0');
    if (matched != expected)
        __builtin_trap();
    return 0;
}
