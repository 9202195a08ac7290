#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "core/IspConstants.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using test::HexData;
using test::HexRecord;

struct GeneratedHex {
    std::string text;
    std::size_t lowest = ISP_IMAGE_SIZE;
};

// Non-overlapping data records of assorted lengths and gaps, all below 0x5000, with
// the record kinds objcopy also accepts (a zero upper linear address, a start
// address) sprinkled in.
GeneratedHex Generate(unsigned seed)
{
    std::mt19937 random(seed);
    auto upTo = [&random](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n)(random); };
    GeneratedHex hex;
    hex.text = HexRecord(0x04, 0, {0x00, 0x00}) + "\n";
    std::size_t address = upTo(3) == 0 ? 0 : upTo(0x400);
    while (true) {
        const std::size_t length = upTo(7) == 0 ? 1 + upTo(254) : 1 + upTo(31);
        if (address + length > ISP_IMAGE_SIZE)
            break;
        std::vector<std::uint8_t> data(length);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(upTo(255));
        hex.lowest = std::min(hex.lowest, address);
        hex.text += HexData(static_cast<std::uint16_t>(address), data) + "\n";
        address += length + (upTo(2) == 0 ? upTo(600) : 0);
    }
    hex.text += HexRecord(0x05, 0, {0x00, 0x00, 0x01, 0x00}) + "\n" + test::HEX_END + "\n";
    return hex;
}

bool HaveObjcopy()
{
    return std::system("command -v objcopy >/dev/null 2>&1") == 0;
}

std::string ImageViaCli(const std::string& path, const test::ScratchDir& dir)
{
    const std::string out = dir.Path("cli.bin");
    const test::CliOutput run = test::CliRunner().Run({"image", path, "-o", out});
    EXPECT_EQ(run.code, 0) << run.err;
    // Address records with a zero upper address, as linkers write them, are no problem.
    EXPECT_EQ(run.err, "");
    return test::ScratchDir::Read(out);
}

TEST(ObjcopyImage, ImageEqualsObjcopyOutputPlacedAndPadded)
{
    if (!HaveObjcopy())
        GTEST_SKIP() << "objcopy not found";
    test::ScratchDir dir;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const GeneratedHex hex = Generate(seed);
        const std::string upper = dir.Write("fw.hex", hex.text);
        const std::string objcopied = dir.Path("objcopy.bin");
        const std::string command = "objcopy -I ihex -O binary '" + upper + "' '" + objcopied + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        std::string expected(ISP_IMAGE_SIZE, '\0');
        const std::string raw = test::ScratchDir::Read(objcopied);
        ASSERT_LE(hex.lowest + raw.size(), ISP_IMAGE_SIZE);
        expected.replace(hex.lowest, raw.size(), raw);

        EXPECT_EQ(ImageViaCli(upper, dir), expected);
        EXPECT_EQ(ImageViaCli(dir.Write("lower.hex", test::Lowercase(hex.text)), dir), expected);
        EXPECT_EQ(ImageViaCli(dir.Write("crlf.HEX", test::WithCrLf(hex.text)), dir), expected);
    }
}

}  // namespace
}  // namespace zelv4
