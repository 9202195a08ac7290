#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Expected.h"
#include "core/FirmwareImage.h"

namespace zelv4 {

// How a serial number is stored in the flash: binary in `width` bytes, least or most
// significant first, or as `width` ASCII decimal digits with leading zeros.
enum class SerialEncoding { LittleEndian, BigEndian, Decimal };

struct SerialFormat {
    SerialEncoding encoding = SerialEncoding::LittleEndian;
    unsigned width = 4;  // bytes for le/be, digits for dec; the field is this many bytes long

    bool operator==(const SerialFormat&) const = default;
};

// Limits of a field: 8 bytes hold any 64-bit number, and so do 20 digits.
inline constexpr unsigned SERIAL_MAX_BYTES = 8;
inline constexpr unsigned SERIAL_MAX_DIGITS = 20;
// Hostile-input limit of a whole ADDRESS:FORMAT[:START[:STEP]] text.
inline constexpr std::size_t SERIAL_SPEC_MAX_LENGTH = 128;

// Where each chip's number goes, and how the counter runs when it is created.
struct SerialSpec {
    std::size_t address = 0;
    SerialFormat format;
    std::optional<std::uint64_t> start;  // the counter's first number; absent: the counter's own, or 1
    std::optional<std::uint64_t> step;   // absent: the counter's own, or 1
};

// Reads ADDRESS:FORMAT[:START[:STEP]]. Numbers are decimal or 0x-prefixed hex; FORMAT
// is le1..le8, be1..be8 or dec1..dec20. Only the syntax is checked here: whether the
// field fits the flash and the file is CheckSerialField's business. A refusal says
// why, for a person to read.
Expected<SerialSpec> ParseSerialSpec(std::string_view text);

// "le4", "be2", "dec8".
std::string SerialFormatText(SerialFormat format);

// The counter a field uses unless one is named: "serial-4FF0-le4".
std::string DefaultSerialCounterName(const SerialSpec& spec);

// The largest number the field holds.
std::uint64_t SerialFieldMax(SerialFormat format);

enum class SerialRefusal {
    PastFlash,     // the field runs past 0x4FFF
    OverlapsFile,  // the field covers bytes the firmware file fills
    DoesNotFit,    // the number needs more bytes or digits than the field has
};

struct SerialProblem {
    SerialRefusal kind = SerialRefusal::PastFlash;
    std::string message;
};

// Whether the field can be written into this firmware at all: inside the flash, over
// no byte the file supplied (unless `overwriteAllowed`), and with room for the first
// number when one is given.
std::optional<SerialProblem> CheckSerialField(const SerialSpec& spec, const std::bitset<ISP_IMAGE_SIZE>& supplied,
                                              bool overwriteAllowed);

struct SerialPatch {
    FirmwareImage image{};
    std::optional<SerialProblem> problem;

    explicit operator bool() const { return !problem; }
};

// A copy of `image` with `number` stored in the field at `address`; refused when the
// number does not fit or the field runs past the flash.
SerialPatch PatchSerial(const FirmwareImage& image, std::size_t address, SerialFormat format, std::uint64_t number);

}  // namespace zelv4
