#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/SerialField.h"
#include "support/ParamNames.h"

namespace zelv4 {
namespace {

constexpr SerialFormat LE4{SerialEncoding::LittleEndian, 4};

TEST(SerialSpec, ReadsAddressFormatStartAndStep)
{
    struct Case {
        const char* text;
        std::size_t address;
        SerialFormat format;
        std::optional<std::uint64_t> start, step;
    };
    const Case cases[] = {
        {"0x4FF0:le4", 0x4FF0, LE4, {}, {}},
        {"20464:be8:1000", 0x4FF0, {SerialEncoding::BigEndian, 8}, 1000, {}},
        {"0X10:dec20:0x100:5", 0x10, {SerialEncoding::Decimal, 20}, 0x100, 5},
        {"0:le1:0:1", 0, {SerialEncoding::LittleEndian, 1}, 0, 1},
    };
    for (const Case& c : cases) {
        const Expected<SerialSpec> parsed = ParseSerialSpec(c.text);
        ASSERT_TRUE(parsed) << c.text << ": " << parsed.error().message;
        EXPECT_EQ(parsed->address, c.address) << c.text;
        EXPECT_EQ(parsed->format, c.format) << c.text;
        EXPECT_EQ(parsed->start, c.start) << c.text;
        EXPECT_EQ(parsed->step, c.step) << c.text;
    }
    EXPECT_EQ(DefaultSerialCounterName(*ParseSerialSpec("0x4FF0:le4")), "serial-4FF0-le4");
    EXPECT_EQ(DefaultSerialCounterName(*ParseSerialSpec("16:dec8:5")), "serial-0010-dec8");
}

TEST(SerialSpec, RefusesWhatItCannotRead)
{
    const std::pair<std::string, const char*> cases[] = {
        {"0x4FF0", "expected ADDRESS:FORMAT"},
        {"0x4FF0:le4:1:1:1", "expected ADDRESS:FORMAT"},
        {"4FF0:le4", "address \"4FF0\""},
        {"-1:le4", "address \"-1\""},
        {"0x:le4", "address \"0x\""},
        {"0x10:le9", "\"le9\" is not one of"},
        {"0x10:le0", "\"le0\" is not one of"},
        {"0x10:dec21", "\"dec21\" is not one of"},
        {"0x10:LE4", "\"LE4\" is not one of"},
        {"0x10:le4x", "\"le4x\" is not one of"},
        {"0x10:le4:", "start \"\""},
        {"0x10:le4: 5", "start \" 5\""},
        {"0x10:le4:18446744073709551616", "start \"18446744073709551616\""},
        {"0x10:le4:1:0", "step 0"},
        {std::string(SERIAL_SPEC_MAX_LENGTH + 1, '1'), "too long"},
    };
    for (const auto& [text, says] : cases) {
        const Expected<SerialSpec> parsed = ParseSerialSpec(text);
        ASSERT_FALSE(parsed) << text;
        EXPECT_NE(parsed.error().message.find(says), std::string::npos) << text << ": " << parsed.error().message;
    }
}

struct PatchCase {
    std::string label;
    SerialFormat format;
    std::uint64_t number;
    std::vector<std::uint8_t> bytes;
};

void PrintTo(const PatchCase& c, std::ostream* out)
{
    *out << c.label;
}

class SerialPatchTest : public ::testing::TestWithParam<PatchCase> {};

TEST_P(SerialPatchTest, StoresTheNumberInExactlyTheFieldsBytes)
{
    const PatchCase& c = GetParam();
    FirmwareImage image;
    image.fill(0xA5);
    // At the very end of the flash, where a field may just fit.
    const std::size_t address = ISP_IMAGE_SIZE - c.bytes.size();
    const SerialPatch patch = PatchSerial(image, address, c.format, c.number);
    ASSERT_TRUE(patch) << patch.problem->message;
    EXPECT_EQ(std::vector<std::uint8_t>(patch.image.begin() + address, patch.image.end()), c.bytes);
    EXPECT_EQ(patch.image[address - 1], 0xA5);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + address, patch.image.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SerialPatchTest,
    ::testing::Values(
        PatchCase{"le4", LE4, 0x12345678, {0x78, 0x56, 0x34, 0x12}},
        PatchCase{"le1 largest", {SerialEncoding::LittleEndian, 1}, 255, {0xFF}},
        PatchCase{"le8 largest", {SerialEncoding::LittleEndian, 8}, UINT64_MAX, std::vector<std::uint8_t>(8, 0xFF)},
        PatchCase{"le3 zero", {SerialEncoding::LittleEndian, 3}, 0, {0, 0, 0}},
        PatchCase{"be2", {SerialEncoding::BigEndian, 2}, 0xABCD, {0xAB, 0xCD}},
        PatchCase{"be5", {SerialEncoding::BigEndian, 5}, 0x0102030405, {1, 2, 3, 4, 5}},
        PatchCase{"dec8 padded", {SerialEncoding::Decimal, 8}, 1234, {'0', '0', '0', '0', '1', '2', '3', '4'}},
        PatchCase{"dec1", {SerialEncoding::Decimal, 1}, 7, {'7'}},
        PatchCase{"dec3 largest", {SerialEncoding::Decimal, 3}, 999, {'9', '9', '9'}},
        PatchCase{"dec20 largest", {SerialEncoding::Decimal, 20}, UINT64_MAX, {'1', '8', '4', '4', '6', '7', '4',
                                                                               '4', '0', '7', '3', '7', '0', '9',
                                                                               '5', '5', '1', '6', '1', '5'}}),
    test::LabelName());

TEST(SerialField, RefusalsSayWhy)
{
    std::bitset<ISP_IMAGE_SIZE> supplied;
    supplied.set(0x1002);
    supplied.set(0x1003);
    const auto spec = [](const char* text) { return *ParseSerialSpec(text); };
    struct Case {
        const char* spec;
        bool overwrite;
        std::optional<SerialRefusal> refusal;
        const char* says;
    };
    const Case cases[] = {
        {"0x4FFC:le4", false, {}, ""},
        {"0x4FFD:le4", false, SerialRefusal::PastFlash,
         "0x4FFD..0x5000 (le4) runs past the end of the flash at 0x4FFF"},
        {"0x5000:le1", false, SerialRefusal::PastFlash, "at 0x5000 (le1)"},
        {"0xFFFFFFFFFFFFFFFF:be8", false, SerialRefusal::PastFlash, "runs past"},
        {"0x1000:le4", false, SerialRefusal::OverlapsFile,
         "0x1000..0x1003 (le4) covers bytes the firmware file fills "
         "(0x1002..0x1003)"},
        {"0x1000:le4", true, {}, ""},
        {"0x0FFE:le2", false, {}, ""},
        {"0x0FFE:le2:65536", true, SerialRefusal::DoesNotFit,
         "serial number 65536 does not fit a le2 field (at most "
         "65535)"},
        {"0x0FFE:dec2:99", false, {}, ""},
    };
    for (const Case& c : cases) {
        const std::optional<SerialProblem> problem = CheckSerialField(spec(c.spec), supplied, c.overwrite);
        ASSERT_EQ(problem.has_value(), c.refusal.has_value()) << c.spec << (problem ? ": " + problem->message : "");
        if (problem) {
            EXPECT_EQ(problem->kind, *c.refusal) << c.spec;
            EXPECT_NE(problem->message.find(c.says), std::string::npos) << c.spec << ": " << problem->message;
        }
    }

    // A number the counter reached later that no longer fits; and a field past the flash.
    const FirmwareImage image{};
    const SerialPatch tooBig = PatchSerial(image, 0x100, {SerialEncoding::Decimal, 2}, 100);
    ASSERT_FALSE(tooBig);
    EXPECT_EQ(tooBig.problem->kind, SerialRefusal::DoesNotFit);
    EXPECT_EQ(PatchSerial(image, 0x4FFF, LE4, 1).problem->kind, SerialRefusal::PastFlash);
}

}  // namespace
}  // namespace zelv4
