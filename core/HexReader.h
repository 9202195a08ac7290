#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/FirmwareImage.h"

namespace zelv4 {

class ByteSource;

// What the HEX reader accepted without failing the load, so that the command line
// can warn about it. The window ignores it.
struct HexTolerance {
    std::size_t badChecksumRecords = 0;   // records whose checksum byte is wrong
    std::size_t nonHexCharacters = 0;     // characters inside records that are not hex digits
    std::size_t droppedBytes = 0;         // data bytes addressed beyond the image
    std::size_t ignoredRecords = 0;       // records of types other than 0 and 1
    std::size_t upperAddressRecords = 0;  // extended address records with a non-zero upper address
    std::size_t trailingCharacters = 0;   // characters after a record's checksum on its line
    std::size_t strayCharacters = 0;      // characters outside records, other than line ends and blanks
    std::size_t malformedEndRecords = 0;  // an end-of-file record other than :00000001FF
    std::size_t linesAfterEnd = 0;        // lines holding more than blanks after the end-of-file record
    bool utf16Text = false;               // the file is UTF-16 text, read byte by byte

    bool Any() const
    {
        return badChecksumRecords || nonHexCharacters || droppedBytes || ignoredRecords || upperAddressRecords ||
               trailingCharacters || strayCharacters || malformedEndRecords || linesAfterEnd || utf16Text;
    }
};

// The first thing in a HEX file that a strict reading refuses: anything that could
// make the image differ from what the file's author meant.
enum class HexProblemKind {
    BadChecksum,
    NonHexCharacter,
    TrailingCharacters,
    StrayCharacters,
    UpperAddress,
    MalformedRecord,  // a record other than data whose length and bytes disagree
    DataBeyondImage,
    MalformedEndRecord,
    UnknownRecordType,
    AfterEndOfFile,  // anything but blanks after the end-of-file record (two files joined)
    Utf16Text,       // the file was saved as UTF-16; HEX is ASCII text
};

struct HexProblem {
    HexProblemKind kind = HexProblemKind::BadChecksum;
    std::size_t line = 0;  // counting from 1
    std::string text;      // what is wrong, for a person to read
};

inline constexpr std::uint8_t HEX_RECORD_DATA = 0x00;
inline constexpr std::uint8_t HEX_RECORD_END_OF_FILE = 0x01;
inline constexpr std::uint8_t HEX_RECORD_EXTENDED_SEGMENT = 0x02;
inline constexpr std::uint8_t HEX_RECORD_START_SEGMENT = 0x03;
inline constexpr std::uint8_t HEX_RECORD_EXTENDED_LINEAR = 0x04;
inline constexpr std::uint8_t HEX_RECORD_START_LINEAR = 0x05;
inline constexpr int HEX_RECORD_MARK = ':';

// The value of one hex digit. Only the low 8 bits of c count. Lower-case digits
// decode like upper-case ones; anything else (spaces, line ends, the end of the
// input) decodes as 0.
unsigned HexDigitValue(int c);
bool IsHexDigit(int c);

struct HexByte {
    std::uint8_t value = 0;
    unsigned nonHexCharacters = 0;   // of the two characters read, 0 to 2
    bool endOfInput = false;         // the input ran out before both characters were read
    std::optional<int> firstNonHex;  // the first character read that is not a hex digit
};

// Reads two characters and returns the byte they spell.
HexByte ReadHexByte(ByteSource& file);

struct HexReadResult {
    bool endRecord = false;    // stopped at an end-of-file record: the load succeeded
    bool cutInRecord = false;  // the input ended inside a record
    std::size_t dataRecords = 0;
    HexTolerance tolerated;
    // The addresses the data records stored a byte at.
    std::bitset<ISP_IMAGE_SIZE> supplied;
    // The first of the tolerated things that a strict reading refuses.
    std::optional<HexProblem> firstProblem;

    explicit operator bool() const { return endRecord; }
};

// Reads records until an end-of-file record or the end of the input, storing data
// bytes at their 16-bit record offset. Extended address records are skipped
// without effect, record checksums are checked only to be reported, and bytes at
// or beyond `size` (clamped to the image) are dropped. Without an end-of-file
// record the result is a failure: a cut-short file must not be programmed. What
// follows the end-of-file record is never stored, only looked at: two HEX files
// joined into one must not pass for the first of them. A UTF-8 byte-order mark is
// skipped; UTF-16 text is noted (and read byte by byte, as it always was).
HexReadResult ReadHexRecords(ByteSource& file, FirmwareImage& image, std::size_t size);

}  // namespace zelv4
