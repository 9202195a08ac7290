#pragma once

#include <cstddef>
#include <cstdint>

#include "core/FirmwareImage.h"

namespace zelv4 {

class ByteSource;

// What the HEX reader accepted without failing the load, so that the command line
// can warn about it. The window ignores it.
struct HexTolerance {
    std::size_t badChecksumRecords = 0;  // data records whose checksum byte is wrong
    std::size_t nonHexCharacters = 0;    // characters inside records that are not hex digits
    std::size_t droppedBytes = 0;        // data bytes addressed beyond the image
    std::size_t ignoredRecords = 0;      // records of types other than 0 and 1

    bool Any() const { return badChecksumRecords || nonHexCharacters || droppedBytes || ignoredRecords; }
};

inline constexpr std::uint8_t HEX_RECORD_DATA = 0x00;
inline constexpr std::uint8_t HEX_RECORD_END_OF_FILE = 0x01;
inline constexpr int HEX_RECORD_MARK = ':';

// The value of one hex digit. Only the low 8 bits of c count. Lower-case digits
// decode like upper-case ones; anything else (spaces, line ends, the end of the
// input) decodes as 0.
unsigned HexDigitValue(int c);
bool IsHexDigit(int c);

struct HexByte {
    std::uint8_t value = 0;
    unsigned nonHexCharacters = 0;  // of the two characters read, 0 to 2
    bool endOfInput = false;        // the input ran out before both characters were read
};

// Reads two characters and returns the byte they spell.
HexByte ReadHexByte(ByteSource& file);

struct HexReadResult {
    bool endRecord = false;    // stopped at an end-of-file record: the load succeeded
    bool cutInRecord = false;  // the input ended inside a record
    std::size_t dataRecords = 0;
    HexTolerance tolerated;

    explicit operator bool() const { return endRecord; }
};

// Reads records until an end-of-file record or the end of the input, storing data
// bytes at their 16-bit record offset. Extended address records are skipped
// without effect, record checksums are checked only to be reported, and bytes at
// or beyond `size` (clamped to the image) are dropped. Without an end-of-file
// record the result is a failure: a cut-short file must not be programmed.
HexReadResult ReadHexRecords(ByteSource& file, FirmwareImage& image, std::size_t size);

}  // namespace zelv4
