#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/win32/DialogInitData.h"
#include "ui/win32/FileDialogFilter.h"

namespace zelv4 {
namespace {

using namespace std::string_literals;

TEST(Win32FileDialogFilter, PairsEndInZeroBytesAndTheListInOneMore)
{
    EXPECT_EQ(FileDialogFilter::ToFilterList("Dump Files (*.dmp)|*.dmp|All Files (*.*)|*.*||"),
              "Dump Files (*.dmp)\0*.dmp\0All Files (*.*)\0*.*\0\0"s);
    EXPECT_EQ(FileDialogFilter::ToFilterList("Hex Files (*.hex)|*.hex|Binary Files (*.bin)|*.bin|All Files (*.*)|*.*"),
              "Hex Files (*.hex)\0*.hex\0Binary Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0\0"s);
    EXPECT_EQ(FileDialogFilter::ToFilterList("Text|*.txt|Lonely"), "Text\0*.txt\0\0"s) << "unpaired text dropped";
    EXPECT_EQ(FileDialogFilter::ToFilterList(""), "\0"s);
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

TEST(Win32DialogInitData, EntriesAreReadUnalignedUpToTheEndMark)
{
    // As the resource compiler lays out the window's data: id, message, length, data, end.
    const auto data = Bytes("\xF1\x03\x03\x04\x07\x00\x00\x00ZEL-V4\x00"
                            "\xF1\x03\x03\x04\x02\x00\x00\x00"
                            "AB\x00\x00"s);
    const auto entries = DialogInitData::Parse(data);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].controlId, 1009);
    EXPECT_EQ((*entries)[0].message, DialogInitData::ADD_STRING_COMBO_BOX);
    EXPECT_EQ((*entries)[0].text, "ZEL-V4");
    EXPECT_EQ((*entries)[1].text, "AB") << "data without a terminator ends with its length";
}

TEST(Win32DialogInitData, DamagedDataRunsNothing)
{
    EXPECT_FALSE(DialogInitData::Parse(Bytes("\xF1\x03\x03\x04\x40\x00\x00\x00ZEL\x00\x00"s))) << "length past the end";
    EXPECT_FALSE(DialogInitData::Parse(Bytes("\xF1\x03\x03\x04\x03\x00\x00\x00ZEL"s))) << "no end mark";
    EXPECT_FALSE(DialogInitData::Parse(Bytes("\xF1\x03\x03"s))) << "entry header cut";
    const auto empty = DialogInitData::Parse(Bytes("\x00\x00"s));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

}  // namespace
}  // namespace zelv4
