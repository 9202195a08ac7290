#include "core/SerialField.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "core/HexText.h"
#include "core/QuotedPath.h"

namespace zelv4 {

namespace {

std::string FieldText(std::size_t address, SerialFormat format)
{
    const std::string where = address < ISP_IMAGE_SIZE
                                  ? AddressText(address) + ".." + AddressText(address + format.width - 1)
                                  : "at " + AddressText(address);
    return "the serial field " + where + " (" + SerialFormatText(format) + ")";
}

// Decimal, or hex after "0x"; no sign, no blanks, nothing after the digits.
std::optional<std::uint64_t> ParseNumber(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<SerialFormat> ParseFormat(std::string_view text)
{
    struct Kind {
        std::string_view prefix;
        SerialEncoding encoding;
        unsigned maxWidth;
    };
    static constexpr Kind KINDS[] = {
        {"le", SerialEncoding::LittleEndian, SERIAL_MAX_BYTES},
        {"be", SerialEncoding::BigEndian, SERIAL_MAX_BYTES},
        {"dec", SerialEncoding::Decimal, SERIAL_MAX_DIGITS},
    };
    for (const Kind& kind : KINDS) {
        if (!text.starts_with(kind.prefix))
            continue;
        const std::string_view digits = text.substr(kind.prefix.size());
        unsigned width = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), width);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || width < 1 ||
            width > kind.maxWidth)
            return std::nullopt;
        return SerialFormat{kind.encoding, width};
    }
    return std::nullopt;
}

// "text", as the user gave it.
std::string InQuotes(std::string_view text)
{
    return Quoted(std::string(text));
}

std::vector<std::string_view> SplitColons(std::string_view text)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t colon = text.find(':', at);
        parts.push_back(text.substr(at, colon == std::string_view::npos ? std::string_view::npos : colon - at));
        if (colon == std::string_view::npos)
            return parts;
        at = colon + 1;
    }
}

bool Fits(SerialFormat format, std::uint64_t number)
{
    return number <= SerialFieldMax(format);
}

SerialProblem DoesNotFit(SerialFormat format, std::uint64_t number)
{
    return {SerialRefusal::DoesNotFit, "serial number " + std::to_string(number) + " does not fit a " +
                                           SerialFormatText(format) + " field (at most " +
                                           std::to_string(SerialFieldMax(format)) + ")"};
}

bool PastFlash(std::size_t address, SerialFormat format)
{
    return address >= ISP_IMAGE_SIZE || format.width > ISP_IMAGE_SIZE - address;
}

SerialProblem PastFlashProblem(std::size_t address, SerialFormat format)
{
    return {SerialRefusal::PastFlash,
            FieldText(address, format) + " runs past the end of the flash at " + AddressText(ISP_IMAGE_SIZE - 1)};
}

}  // namespace

Expected<SerialSpec> ParseSerialSpec(std::string_view text)
{
    const std::string usage = "expected ADDRESS:FORMAT[:START[:STEP]], e.g. 0x4FF0:le4:1000";
    if (text.size() > SERIAL_SPEC_MAX_LENGTH) {
        return Fail(ErrorCode::InvalidInput, "the serial field description is too long; " + usage);
    }
    const std::vector<std::string_view> parts = SplitColons(text);
    if (parts.size() < 2 || parts.size() > 4) {
        return Fail(ErrorCode::InvalidInput, InQuotes(text) + ": " + usage);
    }
    SerialSpec spec;
    const std::optional<std::uint64_t> address = ParseNumber(parts[0]);
    if (!address) {
        return Fail(ErrorCode::InvalidInput,
                    "serial field address " + InQuotes(parts[0]) + " is not a decimal or 0x-prefixed number");
    }
    // Any address parses; one past the flash is refused by CheckSerialField with the field named.
    spec.address = static_cast<std::size_t>(*address);
    const std::optional<SerialFormat> format = ParseFormat(parts[1]);
    if (!format) {
        return Fail(ErrorCode::InvalidInput,
                    "serial format " + InQuotes(parts[1]) +
                        " is not one of le1..le8, be1..be8 (bytes) or dec1..dec20 (decimal digits)");
    }
    spec.format = *format;
    const char* names[] = {"start", "step"};
    for (std::size_t i = 2; i < parts.size(); ++i) {
        const std::optional<std::uint64_t> number = ParseNumber(parts[i]);
        if (!number) {
            return Fail(ErrorCode::InvalidInput, std::string("serial ") + names[i - 2] + " " + InQuotes(parts[i]) +
                                                     " is not a decimal or 0x-prefixed number");
        }
        (i == 2 ? spec.start : spec.step) = *number;
    }
    if (spec.step && *spec.step == 0)
        return Fail(ErrorCode::InvalidInput, "serial step 0 would give every chip the same number");
    return spec;
}

std::string SerialFormatText(SerialFormat format)
{
    const char* prefix = format.encoding == SerialEncoding::LittleEndian ? "le"
                         : format.encoding == SerialEncoding::BigEndian  ? "be"
                                                                         : "dec";
    return prefix + std::to_string(format.width);
}

std::string DefaultSerialCounterName(const SerialSpec& spec)
{
    char address[16];
    std::snprintf(address, sizeof address, "%04zX", spec.address);
    return std::string("serial-") + address + "-" + SerialFormatText(spec.format);
}

std::uint64_t SerialFieldMax(SerialFormat format)
{
    if (format.encoding != SerialEncoding::Decimal)
        return format.width >= 8 ? UINT64_MAX : (std::uint64_t{1} << (8 * format.width)) - 1;
    std::uint64_t max = 0;
    for (unsigned digit = 0; digit < format.width; ++digit) {
        if (max > (UINT64_MAX - 9) / 10)
            return UINT64_MAX;
        max = max * 10 + 9;
    }
    return max;
}

std::optional<SerialProblem> CheckSerialField(const SerialSpec& spec, const std::bitset<ISP_IMAGE_SIZE>& supplied,
                                              bool overwriteAllowed)
{
    if (PastFlash(spec.address, spec.format))
        return PastFlashProblem(spec.address, spec.format);
    if (!overwriteAllowed) {
        std::optional<std::size_t> first, last;
        for (std::size_t at = spec.address; at < spec.address + spec.format.width; ++at) {
            if (supplied.test(at)) {
                first = first.value_or(at);
                last = at;
            }
        }
        if (first)
            return SerialProblem{SerialRefusal::OverlapsFile,
                                 FieldText(spec.address, spec.format) + " covers bytes the firmware file fills (" +
                                     AddressText(*first) + ".." + AddressText(*last) + ")"};
    }
    if (spec.start && !Fits(spec.format, *spec.start))
        return DoesNotFit(spec.format, *spec.start);
    return std::nullopt;
}

SerialPatch PatchSerial(const FirmwareImage& image, std::size_t address, SerialFormat format, std::uint64_t number)
{
    SerialPatch patch;
    if (PastFlash(address, format)) {
        patch.problem = PastFlashProblem(address, format);
        return patch;
    }
    if (!Fits(format, number)) {
        patch.problem = DoesNotFit(format, number);
        return patch;
    }
    patch.image = image;
    std::uint8_t* field = patch.image.data() + address;
    for (unsigned i = 0; i < format.width; ++i) {
        // Least significant unit first: byte i of le, byte width-1-i of be, digit width-1-i of dec.
        switch (format.encoding) {
        case SerialEncoding::LittleEndian:
            field[i] = static_cast<std::uint8_t>(number >> (8 * i));
            break;
        case SerialEncoding::BigEndian:
            field[format.width - 1 - i] = static_cast<std::uint8_t>(number >> (8 * i));
            break;
        case SerialEncoding::Decimal:
            field[format.width - 1 - i] = static_cast<std::uint8_t>('0' + number % 10);
            number /= 10;
            break;
        }
    }
    return patch;
}

}  // namespace zelv4
