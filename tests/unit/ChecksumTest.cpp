#include <gtest/gtest.h>

#include "core/FirmwareImage.h"

namespace zelv4 {
namespace {

TEST(ChecksumText, PadsToFourColumnsAndUpperCases)
{
    EXPECT_EQ(ChecksumText(0x1A2B), "1A2Bh");
    EXPECT_EQ(ChecksumText(0x00FF), "  FFh");
    EXPECT_EQ(ChecksumText(0x0ABC), " ABCh");
    EXPECT_EQ(ChecksumText(0), "   0h");
}

TEST(ImageChecksum, SumsAllBytesModulo65536)
{
    FirmwareImage image{};
    EXPECT_EQ(ImageChecksum(image), 0);
    image.fill(0xFF);
    // 20480 * 255 = 5222400 = 0x4FB000 -> 0xB000
    EXPECT_EQ(ImageChecksum(image), 0xB000);
    image.fill(0);
    image[0x4FFF] = 0x12;
    image[0] = 0x01;
    EXPECT_EQ(ImageChecksum(image), 0x13);
}

}  // namespace
}  // namespace zelv4
