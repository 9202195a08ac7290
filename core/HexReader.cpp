#include "core/HexReader.h"

#include <algorithm>

#include "core/ByteSource.h"

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
        }
        value = value * 16 + (c == ByteSource::END ? 0 : HexDigitValue(c));
    }
    result.value = static_cast<std::uint8_t>(value & 0xFF);
    return result;
}

namespace {

// Reads one byte of a record, keeping the record checksum and the counts.
class RecordReader {
public:
    RecordReader(ByteSource& file, HexTolerance& tolerated) : m_file(file), m_tolerated(tolerated) {}

    std::uint8_t Byte()
    {
        const HexByte byte = ReadHexByte(m_file);
        m_tolerated.nonHexCharacters += byte.nonHexCharacters;
        m_cut = m_cut || byte.endOfInput;
        m_sum = static_cast<std::uint8_t>(m_sum + byte.value);
        return byte.value;
    }

    bool Cut() const { return m_cut; }
    bool SumIsZero() const { return m_sum == 0; }

private:
    ByteSource& m_file;
    HexTolerance& m_tolerated;
    std::uint8_t m_sum = 0;
    bool m_cut = false;
};

bool SkipToRecordMark(ByteSource& file)
{
    for (;;) {
        const int c = file.Next();
        if (c == ByteSource::END)
            return false;
        if (c == HEX_RECORD_MARK)
            return true;
    }
}

}  // namespace

HexReadResult ReadHexRecords(ByteSource& file, FirmwareImage& image, std::size_t size)
{
    HexReadResult result;
    const std::size_t limit = std::min(size, image.size());
    while (SkipToRecordMark(file)) {
        RecordReader record(file, result.tolerated);
        const std::size_t count = record.Byte();
        const std::size_t addressHigh = record.Byte();
        const std::size_t addressLow = record.Byte();
        const std::uint8_t type = record.Byte();
        if (record.Cut()) {
            result.cutInRecord = true;
            break;
        }
        if (type == HEX_RECORD_END_OF_FILE) {
            result.endRecord = true;
            break;
        }
        if (type != HEX_RECORD_DATA) {
            // Extended segment/linear address and start records: their effect on
            // later addresses is deliberately not applied.
            ++result.tolerated.ignoredRecords;
            continue;
        }
        // The address is the 16-bit record offset alone; offset + count may run to
        // 0x100FE, well past the image.
        const std::size_t offset = addressHigh * 256 + addressLow;
        std::size_t dropped = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t value = record.Byte();
            if (offset + i < limit)
                image[offset + i] = value;
            else
                ++dropped;
        }
        record.Byte();  // checksum: reported, never enforced
        if (record.Cut()) {
            result.cutInRecord = true;
            break;
        }
        result.tolerated.droppedBytes += dropped;
        ++result.dataRecords;
        if (!record.SumIsZero())
            ++result.tolerated.badChecksumRecords;
    }
    return result;
}

}  // namespace zelv4
