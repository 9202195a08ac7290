#include "core/HexReader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "core/ByteSource.h"
#include "core/HexText.h"
#include "core/SpanByteSource.h"

namespace zelv4 {

unsigned HexDigitValue(int c)
{
    const unsigned low = static_cast<unsigned>(c) & 0xFF;
    if (low >= '0' && low <= '9')
        return low - '0';
    if (low >= 'A' && low <= 'F')
        return low - 'A' + 10;
    // Many tools write HEX in lower case; reading those digits as 0 would silently
    // corrupt the firmware.
    if (low >= 'a' && low <= 'f')
        return low - 'a' + 10;
    return 0;
}

bool IsHexDigit(int c)
{
    if (c == ByteSource::END)
        return false;
    const unsigned low = static_cast<unsigned>(c) & 0xFF;
    return (low >= '0' && low <= '9') || (low >= 'A' && low <= 'F') || (low >= 'a' && low <= 'f');
}

HexByte ReadHexByte(ByteSource& file)
{
    HexByte result;
    unsigned value = 0;
    for (int i = 0; i < 2; ++i) {
        const int c = file.Next();
        if (c == ByteSource::END) {
            result.endOfInput = true;
        } else if (!IsHexDigit(c)) {
            ++result.nonHexCharacters;
            if (!result.firstNonHex)
                result.firstNonHex = c;
        }
        value = value * 16 + (c == ByteSource::END ? 0 : HexDigitValue(c));
    }
    result.value = static_cast<std::uint8_t>(value & 0xFF);
    return result;
}

namespace {

// What of a line after a record is kept to check it; the rest is only counted.
constexpr std::size_t LINE_REST_KEEP = 1024;

std::string CharacterText(int c)
{
    if (c >= 0x20 && c < 0x7F)
        return std::string("'") + static_cast<char>(c) + "'";
    return "byte " + ByteText(static_cast<unsigned>(c));
}

bool IsBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsTextCharacter(int c)
{
    return c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F);
}

// The file as the reader walks it: counts lines, and lets a few characters be put
// back (a record mark met while looking at the rest of a line, the start of a file
// that turned out not to be a byte-order mark).
class RecordSource : public ByteSource {
public:
    explicit RecordSource(ByteSource& file) : m_file(file) {}

    int Next() override
    {
        if (m_pushedBack != 0)
            return m_back[--m_pushedBack];
        const int c = m_file.Next();
        if (c == '\n')
            ++m_line;
        return c;
    }

    // The last character put back is the next one read; END is never put back.
    void PushBack(int c)
    {
        if (c != END && m_pushedBack < m_back.size())
            m_back[m_pushedBack++] = c;
    }
    std::size_t Line() const { return m_line; }

private:
    ByteSource& m_file;
    std::size_t m_line = 1;
    std::array<int, 4> m_back{};
    std::size_t m_pushedBack = 0;
};

// Reads the bytes of one record, keeping its checksum and its first non-hex character.
class RecordReader {
public:
    RecordReader(RecordSource& file, HexTolerance& tolerated) : m_file(file), m_tolerated(tolerated) {}

    std::uint8_t Byte()
    {
        const HexByte byte = ReadHexByte(m_file);
        m_cut = m_cut || byte.endOfInput;
        m_tolerated.nonHexCharacters += byte.nonHexCharacters;
        if (!m_firstNonHex)
            m_firstNonHex = byte.firstNonHex;
        m_sum = static_cast<std::uint8_t>(m_sum + byte.value);
        return byte.value;
    }

    bool Cut() const { return m_cut; }
    std::uint8_t Sum() const { return m_sum; }
    const std::optional<int>& FirstNonHex() const { return m_firstNonHex; }

private:
    RecordSource& m_file;
    HexTolerance& m_tolerated;
    std::uint8_t m_sum = 0;
    bool m_cut = false;
    std::optional<int> m_firstNonHex;
};

// The rest of the current line, up to its end or the next record mark (put back,
// so that the record is read as it always was). Blanks at its end are dropped.
std::string RestOfLine(RecordSource& file, std::size_t& length)
{
    std::string rest;
    std::size_t read = 0;
    length = 0;  // up to the last character that is not a blank, however far
    for (;;) {
        const int c = file.Next();
        if (c == ByteSource::END || c == '\n')
            break;
        if (c == HEX_RECORD_MARK) {
            file.PushBack(c);
            break;
        }
        ++read;
        if (!IsBlank(static_cast<unsigned char>(c)))
            length = read;
        if (rest.size() < LINE_REST_KEEP)
            rest.push_back(static_cast<char>(c));
    }
    if (rest.size() > length)
        rest.resize(length);
    return rest;
}

// The reading of one file: the result it builds and the problems it notes.
class Reading {
public:
    Reading(ByteSource& file, FirmwareImage& image, std::size_t size)
        : m_file(file), m_image(image), m_limit(std::min(size, image.size()))
    {}

    HexReadResult Run()
    {
        Encoding();
        while (SkipToRecordMark()) {
            if (!Record())
                break;
        }
        return m_result;
    }

private:
    void Problem(HexProblemKind kind, std::size_t line, std::string text)
    {
        if (!m_result.firstProblem)
            m_result.firstProblem = HexProblem{kind, line, std::move(text)};
    }

    // A byte-order mark is not text outside a record: editors write one. UTF-16 text
    // (a NUL beside every character) is noted; its bytes are then read as they are.
    void Encoding()
    {
        const int first = m_file.Next();
        const int second = m_file.Next();
        if (first == 0xEF && second == 0xBB) {
            const int third = m_file.Next();
            if (third == 0xBF)
                return;
            m_file.PushBack(third);
        }
        const bool byteOrderMark = (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
        const bool nulBeside = (first == 0 && IsTextCharacter(second)) || (second == 0 && IsTextCharacter(first));
        if (byteOrderMark || nulBeside) {
            m_result.tolerated.utf16Text = true;
            Problem(HexProblemKind::Utf16Text, 1, "the file is UTF-16 text; Intel HEX must be saved as ASCII or UTF-8");
        }
        m_file.PushBack(second);
        m_file.PushBack(first);
    }

    // Everything after the end-of-file record: only counted, by lines that hold
    // more than blanks. The first of them is the problem a strict reading names.
    void AfterEnd(std::size_t endLine)
    {
        bool lineCounted = false;
        for (int c = m_file.Next(); c != ByteSource::END; c = m_file.Next()) {
            if (c == '\n') {
                lineCounted = false;
                continue;
            }
            if (lineCounted || IsBlank(c))
                continue;
            lineCounted = true;
            if (m_result.tolerated.linesAfterEnd++ != 0)
                continue;
            const std::string what = c == HEX_RECORD_MARK ? std::string("a record") : CharacterText(c);
            Problem(HexProblemKind::AfterEndOfFile, m_file.Line(),
                    what + " after the end-of-file record of line " + std::to_string(endLine) +
                        "; nothing may follow it, and what does would not be programmed (were two files joined?)");
        }
    }

    bool SkipToRecordMark()
    {
        for (;;) {
            const int c = m_file.Next();
            if (c == ByteSource::END)
                return false;
            if (c == HEX_RECORD_MARK)
                return true;
            if (!IsBlank(c)) {
                ++m_result.tolerated.strayCharacters;
                Problem(HexProblemKind::StrayCharacters, m_file.Line(),
                        CharacterText(c) + " outside a record; every line must be a record starting with ':'");
            }
        }
    }

    // Characters after a record's checksum on its line.
    void CheckLineEnd(std::size_t line)
    {
        std::size_t length = 0;
        const std::string rest = RestOfLine(m_file, length);
        if (length == 0)
            return;
        m_result.tolerated.trailingCharacters += length;
        Problem(HexProblemKind::TrailingCharacters, line,
                std::to_string(length) + " character(s) after the record's checksum, beyond its declared length");
    }

    void CheckRecord(const RecordReader& record, std::size_t line)
    {
        if (record.FirstNonHex())
            Problem(HexProblemKind::NonHexCharacter, line,
                    CharacterText(*record.FirstNonHex()) + " inside the record is not a hex digit");
        if (record.Sum() != 0) {
            ++m_result.tolerated.badChecksumRecords;
            Problem(HexProblemKind::BadChecksum, line,
                    "the record's checksum is wrong (the bytes sum to " + ByteText(record.Sum()) + " instead of 0x00)");
        }
    }

    // A record other than data: the rest of its line is looked at only to check it,
    // as the records after it are found from the next record mark either way.
    void OtherRecord(std::uint8_t count, std::uint8_t type, std::uint8_t headerSum, std::size_t line)
    {
        ++m_result.tolerated.ignoredRecords;
        std::size_t length = 0;
        const std::string rest = RestOfLine(m_file, length);
        std::vector<std::uint8_t> bytes;
        bool wellFormed = rest.size() == length && rest.size() == 2u * (count + 1u);
        SpanByteSource restBytes(rest);
        for (std::size_t i = 0; wellFormed && i < rest.size(); i += 2) {
            const HexByte byte = ReadHexByte(restBytes);
            wellFormed = byte.nonHexCharacters == 0;
            bytes.push_back(byte.value);
        }
        const bool addressRecord = type == HEX_RECORD_EXTENDED_SEGMENT || type == HEX_RECORD_EXTENDED_LINEAR;
        if (type > HEX_RECORD_START_LINEAR) {
            Problem(HexProblemKind::UnknownRecordType, line, "unknown record type " + ByteText(type));
            return;
        }
        if (!wellFormed) {
            if (addressRecord)
                ++m_result.tolerated.upperAddressRecords;
            Problem(addressRecord ? HexProblemKind::UpperAddress : HexProblemKind::MalformedRecord, line,
                    "record of type " + ByteText(type) + " does not hold " + std::to_string(count) +
                        " data byte(s) and a checksum, so its effect on addresses is unknown");
            return;
        }
        std::uint8_t sum = headerSum;
        for (std::uint8_t byte : bytes)
            sum = static_cast<std::uint8_t>(sum + byte);
        if (sum != 0) {
            ++m_result.tolerated.badChecksumRecords;
            Problem(HexProblemKind::BadChecksum, line,
                    "the record's checksum is wrong (the bytes sum to " + ByteText(sum) + " instead of 0x00)");
        }
        if (!addressRecord)
            return;  // start addresses say where code begins, not where it goes
        const unsigned upper = count == 2 ? (bytes[0] << 8) | bytes[1] : 0xFFFF;
        if (upper != 0) {
            ++m_result.tolerated.upperAddressRecords;
            const char* name = type == HEX_RECORD_EXTENDED_LINEAR ? "extended linear" : "extended segment";
            Problem(HexProblemKind::UpperAddress, line,
                    std::string(name) + " address record sets " +
                        (count == 2 ? AddressText(upper) : "an unusable value") +
                        "; the flash is 0x0000 to 0x4FFF, so the data after it would be programmed at the wrong "
                        "address");
        }
    }

    void EndRecord(RecordReader& record, std::uint8_t count, bool zeroAddress, std::size_t line)
    {
        // Only checked: nothing after the end record is read into the image.
        record.Byte();
        if (record.Cut() || count != 0 || !zeroAddress || record.Sum() != 0 || record.FirstNonHex()) {
            ++m_result.tolerated.malformedEndRecords;
            Problem(HexProblemKind::MalformedEndRecord, line, "malformed end-of-file record (expected :00000001FF)");
        }
        m_result.endRecord = true;
        if (record.Cut())
            return;
        CheckLineEnd(line);
        AfterEnd(line);
    }

    // Reads the record after a record mark; false when the reading ends.
    bool Record()
    {
        const std::size_t line = m_file.Line();
        RecordReader record(m_file, m_result.tolerated);
        const std::size_t count = record.Byte();
        const std::size_t addressHigh = record.Byte();
        const std::size_t addressLow = record.Byte();
        const std::uint8_t type = record.Byte();
        if (record.Cut()) {
            m_result.cutInRecord = true;
            return false;
        }
        if (type == HEX_RECORD_END_OF_FILE) {
            EndRecord(record, static_cast<std::uint8_t>(count), addressHigh == 0 && addressLow == 0, line);
            return false;
        }
        if (type != HEX_RECORD_DATA) {
            // Extended segment/linear address and start records: their effect on
            // later addresses is deliberately not applied.
            if (record.FirstNonHex())
                Problem(HexProblemKind::NonHexCharacter, line,
                        CharacterText(*record.FirstNonHex()) + " inside the record is not a hex digit");
            OtherRecord(static_cast<std::uint8_t>(count), type, record.Sum(), line);
            return true;
        }
        // The address is the 16-bit record offset alone; offset + count may run to
        // 0x100FE, well past the image.
        const std::size_t offset = addressHigh * 256 + addressLow;
        std::size_t dropped = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t value = record.Byte();
            if (record.Cut())
                break;  // the file ends inside this byte: it was not supplied
            if (offset + i < m_limit) {
                m_image[offset + i] = value;
                m_result.supplied.set(offset + i);
            } else
                ++dropped;
        }
        record.Byte();  // checksum: reported, never enforced
        if (record.Cut()) {
            m_result.cutInRecord = true;
            return false;
        }
        ++m_result.dataRecords;
        CheckRecord(record, line);
        if (dropped != 0) {
            m_result.tolerated.droppedBytes += dropped;
            Problem(HexProblemKind::DataBeyondImage, line,
                    "data at " + AddressText(offset) + " to " + AddressText(offset + count - 1) +
                        " reaches past the end of the flash at " + AddressText(m_limit - 1));
        }
        CheckLineEnd(line);
        return true;
    }

    RecordSource m_file;
    FirmwareImage& m_image;
    std::size_t m_limit;
    HexReadResult m_result;
};

}  // namespace

HexReadResult ReadHexRecords(ByteSource& file, FirmwareImage& image, std::size_t size)
{
    return Reading(file, image, size).Run();
}

}  // namespace zelv4
