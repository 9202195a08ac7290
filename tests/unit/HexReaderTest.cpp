#include <gtest/gtest.h>

#include <string>

#include "core/ByteSource.h"
#include "core/HexReader.h"
#include "core/SpanByteSource.h"
#include "support/HexRecords.h"

namespace zelv4 {
namespace {

using test::HEX_END;
using test::HexData;
using test::HexRecord;

TEST(HexDigitValue, DecodesBothCasesAndEverythingElseAsZero)
{
    EXPECT_EQ(HexDigitValue('0'), 0u);
    EXPECT_EQ(HexDigitValue('9'), 9u);
    EXPECT_EQ(HexDigitValue('A'), 10u);
    EXPECT_EQ(HexDigitValue('F'), 15u);
    EXPECT_EQ(HexDigitValue('a'), 10u);
    EXPECT_EQ(HexDigitValue('f'), 15u);
    for (int c : std::initializer_list<int>{'G', 'g', ' ', '\r', '\n', ':', '\0', 0xFF, ByteSource::END})
        EXPECT_EQ(HexDigitValue(c), 0u) << c;
    // Only the low 8 bits count.
    EXPECT_EQ(HexDigitValue(0x100 + 'C'), 12u);
    EXPECT_TRUE(IsHexDigit('e'));
    EXPECT_FALSE(IsHexDigit('g'));
    EXPECT_FALSE(IsHexDigit(ByteSource::END));
}

TEST(ReadHexByte, CombinesTwoDigitsAndCountsWhatIsNotHex)
{
    SpanByteSource source("A5f0 Z");
    HexByte byte = ReadHexByte(source);
    EXPECT_EQ(byte.value, 0xA5);
    EXPECT_EQ(byte.nonHexCharacters, 0u);
    byte = ReadHexByte(source);
    EXPECT_EQ(byte.value, 0xF0);
    byte = ReadHexByte(source);  // " Z"
    EXPECT_EQ(byte.value, 0x00);
    EXPECT_EQ(byte.nonHexCharacters, 2u);
    EXPECT_EQ(byte.firstNonHex, ' ');
    EXPECT_FALSE(byte.endOfInput);
    byte = ReadHexByte(source);
    EXPECT_TRUE(byte.endOfInput);
    EXPECT_EQ(byte.nonHexCharacters, 0u);
}

TEST(ReadHexByte, HalfAByteAtTheEndIsReportedAsCut)
{
    SpanByteSource source("7");
    const HexByte byte = ReadHexByte(source);
    EXPECT_TRUE(byte.endOfInput);
    EXPECT_EQ(byte.value, 0x70);
}

class HexRecordsTest : public ::testing::Test {
protected:
    HexReadResult Read(const std::string& text, std::size_t size = ISP_IMAGE_SIZE)
    {
        SpanByteSource source(text);
        return ReadHexRecords(source, image, size);
    }

    FirmwareImage image{};
};

TEST_F(HexRecordsTest, StoresDataAtRecordOffsetAndStopsAtEndRecord)
{
    const auto result = Read(HexData(0x0000, {1, 2, 3}) + "\n" + HexData(0x4FFE, {0xAA, 0xBB}) + "\n" + HEX_END + "\n" +
                             HexData(0x0100, {0x55}) + "\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(result.dataRecords, 2u);
    EXPECT_EQ(image[0], 1);
    EXPECT_EQ(image[2], 3);
    EXPECT_EQ(image[0x4FFE], 0xAA);
    EXPECT_EQ(image[0x4FFF], 0xBB);
    EXPECT_EQ(result.supplied.count(), 5u);
    EXPECT_TRUE(result.supplied[0x4FFF]);
    EXPECT_EQ(image[0x100], 0x00) << "nothing after the end-of-file record is stored";
    // ...but it is noted, by lines: two files joined must not pass for the first.
    EXPECT_EQ(result.tolerated.linesAfterEnd, 1u);
    ASSERT_TRUE(result.firstProblem);
    EXPECT_EQ(result.firstProblem->kind, HexProblemKind::AfterEndOfFile);
    EXPECT_EQ(result.firstProblem->line, 4u);
    EXPECT_FALSE(Read(HexData(0, {1}) + "\n" + HEX_END + "\r\n \t\n\n").tolerated.Any()) << "blank lines";
}

TEST_F(HexRecordsTest, AUtf8ByteOrderMarkIsSkippedAndUtf16TextIsNoted)
{
    const std::string text = HexData(0, {7}) + "\r\n" + HEX_END + "\r\n";
    const auto marked = Read("\xEF\xBB\xBF" + text);
    ASSERT_TRUE(marked);
    EXPECT_FALSE(marked.tolerated.Any());
    EXPECT_EQ(image[0], 7);
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {false, true}) {
            const auto result = Read(test::Utf16(text, bigEndian, mark));
            EXPECT_TRUE(result.tolerated.utf16Text) << bigEndian << mark;
            ASSERT_TRUE(result.firstProblem);
            EXPECT_EQ(result.firstProblem->kind, HexProblemKind::Utf16Text);
        }
    }
}

TEST_F(HexRecordsTest, LowerCaseCrLfAndTrailingBlanksGiveTheSameImageAsUpperCase)
{
    const std::string upper = HexData(0x0010, {0xAB, 0xCD, 0xEF, 0xFA}) + "\n" + HEX_END + "\n";
    ASSERT_TRUE(Read(upper));
    const FirmwareImage expected = image;
    EXPECT_EQ(image[0x10], 0xAB);

    image.fill(0);
    const auto lower = Read(test::Lowercase(upper));
    ASSERT_TRUE(lower);
    EXPECT_FALSE(lower.tolerated.Any());
    EXPECT_EQ(image, expected);

    image.fill(0);
    const auto crlf = Read(test::WithCrLf(upper));
    ASSERT_TRUE(crlf);
    EXPECT_FALSE(crlf.tolerated.Any());
    EXPECT_EQ(image, expected);

    // Blanks after a record are no characters after it, however many there are.
    image.fill(0);
    const auto padded = Read(HexData(0x0010, {0xAB, 0xCD, 0xEF, 0xFA}) + std::string(2000, ' ') + "\n" + HEX_END);
    ASSERT_TRUE(padded);
    EXPECT_FALSE(padded.tolerated.Any());
    EXPECT_EQ(image, expected);
}

TEST_F(HexRecordsTest, ExtendedAddressRecordsAreSkippedAndCounted)
{
    const auto result = Read(HexRecord(0x04, 0, {0x00, 0x01}) + "\n" + HexRecord(0x02, 0, {0x10, 0x00}) + "\n" +
                             HexData(0x0020, {0x77}) + "\n" + HexRecord(0x05, 0, {0, 0, 0, 0}) + "\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.tolerated.ignoredRecords, 3u);
    EXPECT_EQ(image[0x20], 0x77) << "the 16-bit offset alone is the address";
}

TEST_F(HexRecordsTest, EmptyDataRecordsAndStartRecordsStoreNothing)
{
    // A count of 0 still has its checksum read, so the next record is found whole;
    // a type 3 record is skipped like the address records, its data never stored.
    const auto result = Read(HexData(0x0008, {}) + "\n" + HexRecord(0x03, 0, {0x12, 0x34, 0x56, 0x78}) + "\n" +
                             HexData(0x0009, {0x99}) + "\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.dataRecords, 2u);
    EXPECT_EQ(result.tolerated.ignoredRecords, 1u);
    EXPECT_FALSE(result.tolerated.badChecksumRecords);
    EXPECT_EQ(image[0x0008], 0x00);
    EXPECT_EQ(image[0x0009], 0x99);
    EXPECT_EQ(ImageChecksum(image), 0x99) << "the type 3 bytes went nowhere";
}

TEST_F(HexRecordsTest, RecordMarkInsideDataIsReadAsADigitNotAsANewRecord)
{
    // Two characters per byte whatever they are: ':' in the data reads as 0 and
    // does not start a record.
    const auto result = Read(":020000003:AB21\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(image[0], 0x30);
    EXPECT_EQ(image[1], 0xAB);
    EXPECT_EQ(result.dataRecords, 1u);
    EXPECT_EQ(result.tolerated.nonHexCharacters, 1u);
}

TEST_F(HexRecordsTest, WrongChecksumIsStoredAndCounted)
{
    const auto result = Read(":0100300042FF\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(image[0x30], 0x42);
    EXPECT_EQ(result.tolerated.badChecksumRecords, 1u);
}

TEST_F(HexRecordsTest, NonHexCharactersInsideRecordsReadAsZero)
{
    // "G1" decodes as 0x01; characters between records are skipped and counted apart.
    const auto result = Read("junk before\n:01004000G1BE\nmore junk\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(image[0x40], 0x01);
    EXPECT_EQ(result.tolerated.nonHexCharacters, 1u);
    EXPECT_EQ(result.tolerated.strayCharacters, 18u) << "the letters of the two junk lines";
}

TEST_F(HexRecordsTest, BytesPastTheImageAreDroppedNotWritten)
{
    // Offset 0xFFFF plus 255 bytes reaches 0x100FE; the image must stay untouched.
    std::vector<std::uint8_t> data(255, 0xEE);
    const auto result =
        Read(HexData(0x4FF0, std::vector<std::uint8_t>(32, 0x11)) + "\n" + HexData(0xFFFF, data) + "\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.tolerated.droppedBytes, 16u + 255u);
    EXPECT_EQ(image[0x4FFF], 0x11);
    EXPECT_EQ(image[0x0000], 0x00) << "no wrap-around to the start";
    EXPECT_EQ(image[0x00FE], 0x00);
}

TEST_F(HexRecordsTest, SizeSmallerThanImageLimitsWhatIsStored)
{
    const auto result = Read(HexData(0x0000, {1, 2, 3, 4}) + "\n" + HEX_END, 2);
    ASSERT_TRUE(result);
    EXPECT_EQ(image[1], 2);
    EXPECT_EQ(image[2], 0);
    EXPECT_EQ(result.tolerated.droppedBytes, 2u);
}

TEST_F(HexRecordsTest, MissingEndRecordFails)
{
    auto result = Read(HexData(0, {1, 2}) + "\n");
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.cutInRecord);
    EXPECT_EQ(image[1], 2);

    result = Read("");
    EXPECT_FALSE(result);
    result = Read(std::string(1 << 20, 'x'));
    EXPECT_FALSE(result) << "a megabyte line without any record";
}

TEST_F(HexRecordsTest, RecordCutShortFails)
{
    for (const char* text : {":", ":10", ":100000", ":10000000", ":1000000001020304", ":0100000042"}) {
        const auto result = Read(text);
        EXPECT_FALSE(result) << text;
        EXPECT_TRUE(result.cutInRecord) << text;
        // Only the bytes the file spelled in full count as supplied.
        EXPECT_LE(result.supplied.count(), 4u) << text;
    }
}

TEST_F(HexRecordsTest, EndRecordWithoutItsChecksumStillEnds)
{
    EXPECT_TRUE(Read(HexData(0, {9}) + "\n:00000001"));
    EXPECT_EQ(image[0], 9);
}

TEST_F(HexRecordsTest, NulBytesAndLongLinesAreHarmless)
{
    std::string text = HexData(0x0200, {0x5A});
    text += std::string(1 << 20, '\0');
    text += '\n';
    text += std::string(1 << 20, 'F');  // a megabyte line of digits, but no record mark
    text += "\n" + HEX_END;
    const auto result = Read(text);
    ASSERT_TRUE(result);
    EXPECT_EQ(image[0x200], 0x5A);
    // Counted, never stored: the NULs follow the record on its line, the digits stand alone.
    EXPECT_EQ(result.tolerated.trailingCharacters, 1u << 20);
    EXPECT_EQ(result.tolerated.strayCharacters, 1u << 20);
}

TEST_F(HexRecordsTest, ARecordMarkSwallowedByAShortRecordLosesTheNextRecord)
{
    // The count says 2 but only one byte follows: the reader takes the next line's
    // ":0" as data, as the loader always has. The file still ends properly.
    const auto result = Read(":02000000AA\n" + HexData(0x10, {0x33}) + "\n" + HEX_END);
    ASSERT_TRUE(result);
    EXPECT_EQ(image[0], 0xAA);
    EXPECT_EQ(image[0x10], 0x00);
    EXPECT_GT(result.tolerated.nonHexCharacters, 0u);
}

}  // namespace
}  // namespace zelv4
