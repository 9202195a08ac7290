#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/ImageFile.h"
#include "support/HexRecords.h"
#include "support/ImageFileFixture.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using test::HEX_END;
using test::HexData;
using test::HexRecord;

using ImageFileTest = test::ImageFileFixture;

std::string Bytes(std::size_t count, std::uint8_t seed)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

TEST(ImageFormatForPath, CaseSensitiveSubstringAnywhere)
{
    EXPECT_EQ(ImageFormatForPath("fw.hex"), ImageFormat::Hex);
    EXPECT_EQ(ImageFormatForPath("FW.HEX"), ImageFormat::Hex);
    EXPECT_EQ(ImageFormatForPath("fw.Hex"), ImageFormat::Binary);
    EXPECT_EQ(ImageFormatForPath("fw.bin"), ImageFormat::Binary);
    EXPECT_EQ(ImageFormatForPath("out.hex/fw.bin"), ImageFormat::Hex);
    EXPECT_EQ(ImageFormatForPath("fw.hexdump"), ImageFormat::Hex);
}

TEST_F(ImageFileTest, ShortBinaryFillsFromZeroAndLeavesTheRestZero)
{
    const std::string bytes = Bytes(100, 1);
    const auto result = Load(dir.Write("fw.bin", bytes));
    ASSERT_TRUE(result) << result.reason;
    EXPECT_EQ(result.format, ImageFormat::Binary);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 100), bytes);
    for (std::size_t i = 100; i < image.size(); ++i)
        ASSERT_EQ(image[i], 0) << i;
}

TEST_F(ImageFileTest, LongBinaryContributesOnlyItsFirst20480Bytes)
{
    const std::string bytes = Bytes(ISP_IMAGE_SIZE + 1000, 3);
    ASSERT_TRUE(Load(dir.Write("fw.bin", bytes)));
    EXPECT_EQ(std::string(image.begin(), image.end()), bytes.substr(0, ISP_IMAGE_SIZE));
}

TEST_F(ImageFileTest, EmptyBinaryGivesAllZeroImage)
{
    ASSERT_TRUE(Load(dir.Write("empty.bin", "")));
    EXPECT_EQ(ImageChecksum(image), 0);
    EXPECT_EQ(ChecksumText(ImageChecksum(image)), "   0h");
}

TEST_F(ImageFileTest, EndlessHexInputStopsAtTheLimit)
{
    // Past the limit without an end-of-file record: not firmware for this chip.
    const std::string path = dir.Path("huge.hex");
    std::filesystem::resize_file(dir.Write("huge.hex", ""), HEX_MAX_INPUT_BYTES + 1);
    const auto result = Load(path);
    EXPECT_FALSE(result);
    EXPECT_NE(result.reason.find(std::to_string(HEX_MAX_INPUT_BYTES)), std::string::npos) << result.reason;
}

TEST_F(ImageFileTest, HexSelectionFollowsThePathSpelling)
{
    const std::string hex = HexData(0, {0x12, 0x34}) + "\n" + HEX_END + "\n";
    for (const char* name : {"a.hex", "b.HEX"}) {
        const auto result = Load(dir.Write(name, hex));
        ASSERT_TRUE(result) << name << ": " << result.reason;
        EXPECT_EQ(result.format, ImageFormat::Hex);
        EXPECT_EQ(image[0], 0x12);
        EXPECT_EQ(image[1], 0x34);
    }
    // Mixed case is binary: the text itself lands in the image.
    const auto result = Load(dir.Write("c.Hex", hex));
    ASSERT_TRUE(result);
    EXPECT_EQ(result.format, ImageFormat::Binary);
    EXPECT_EQ(image[0], ':');
}

TEST_F(ImageFileTest, HexDataBelow0x2000LeavesTheRestZeroAndTheChecksumCoversIt)
{
    std::string hex;
    unsigned expected = 0;
    for (std::uint16_t offset = 0; offset < 0x2000; offset += 16) {
        std::vector<std::uint8_t> data(16);
        for (std::size_t i = 0; i < 16; ++i) {
            data[i] = static_cast<std::uint8_t>(offset + i * 3);
            expected += data[i];
        }
        hex += HexData(offset, data) + "\r\n";
    }
    hex += HEX_END + "\r\n";
    const auto result = Load(dir.Write("low.hex", hex));
    ASSERT_TRUE(result) << result.reason;
    EXPECT_FALSE(result.tolerated.Any());
    for (std::size_t i = 0x2000; i < image.size(); ++i)
        ASSERT_EQ(image[i], 0) << i;
    EXPECT_EQ(ImageChecksum(image), expected & 0xFFFF);
}

TEST_F(ImageFileTest, ToleranceIsReportedForHex)
{
    const std::string hex = HexRecord(0x04, 0, {0, 0}) + "\n:0100000042FF\n" + HexData(0x4FFF, {1, 2, 3}) +
                            "\n:01000100zz00\n" + HEX_END + "\n";
    const auto result = Load(dir.Write("t.hex", hex));
    ASSERT_TRUE(result) << result.reason;
    EXPECT_EQ(result.tolerated.ignoredRecords, 1u);
    EXPECT_EQ(result.tolerated.badChecksumRecords, 2u);
    EXPECT_EQ(result.tolerated.droppedBytes, 2u);
    EXPECT_EQ(result.tolerated.nonHexCharacters, 2u);
}

TEST_F(ImageFileTest, CutShortHexFailsWithAReason)
{
    auto result = Load(dir.Write("nofinish.hex", HexData(0, {1, 2, 3}) + "\n"));
    EXPECT_FALSE(result);
    EXPECT_NE(result.reason.find("end-of-file record"), std::string::npos) << result.reason;

    result = Load(dir.Write("cut.hex", HexData(0, {1, 2, 3}).substr(0, 12)));
    EXPECT_FALSE(result);
    EXPECT_NE(result.reason.find("middle of a record"), std::string::npos) << result.reason;
}

TEST_F(ImageFileTest, UnopenablePathsFailWithAReason)
{
    auto result = Load("");
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.reason.empty());

    result = Load(dir.Path("missing.bin"));
    EXPECT_FALSE(result);
    EXPECT_NE(result.reason.find("missing.bin"), std::string::npos);
    EXPECT_NE(result.reason.find("No such file"), std::string::npos) << result.reason;
}

TEST_F(ImageFileTest, DirectoriesFailForBothReaders)
{
    std::filesystem::create_directory(dir.Path("d.hex"));
    std::filesystem::create_directory(dir.Path("d.bin"));
    for (const char* name : {"d.hex", "d.bin"}) {
        const auto result = Load(dir.Path(name));
        EXPECT_FALSE(result) << name;
        EXPECT_NE(result.reason.find("directory"), std::string::npos) << result.reason;
    }
}

}  // namespace
}  // namespace zelv4
