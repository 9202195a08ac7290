#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "device/SysfsValues.h"

namespace zelv4 {
namespace {

// The ids of a hidraw node come from its HID device's HID_ID property: bus, vendor
// and product, each up to eight hex digits, as the kernel writes them.
TEST(SysfsValues, HidIdGivesVendorAndProductWhenTheyFitSixteenBits)
{
    const auto ids = ParseHidId("0003:0000040B:00006876");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->vendor, 0x040B);
    EXPECT_EQ(ids->product, 0x6876);
    EXPECT_TRUE(ParseHidId("0003:0000040b:00006876\n")) << "an attribute's newline";
    for (const char* refused : {"0003:0001046D:0000C31C", "0003:0000046D", "", "0003:0000046D:0000C31C:1",
                                "0003:+000046D:0000C31C", "0003:000000046D:0000C31C", "0003:0000046D:0000C31C "})
        EXPECT_FALSE(ParseHidId(refused)) << refused;
}

TEST(SysfsValues, OnlyHidrawNodeNamesHaveANumber)
{
    EXPECT_EQ(HidrawNodeNumber("hidraw3"), 3u);
    EXPECT_EQ(HidrawNodeNumber("hidraw1023"), 1023u);
    for (const char* refused : {"hidraw", "hidraw12345", "hidraw-1", "hidraw3x", "../etc/passwd", "hidraw 3"})
        EXPECT_FALSE(HidrawNodeNumber(refused)) << refused;
}

// The port of a USB device: its bus number and port path, as the kernel names it.
TEST(SysfsValues, PortPathComesFromBusNumberAndDevpath)
{
    struct Case {
        const char* busnum;
        const char* devpath;
        std::optional<std::string> port;
    };
    const Case cases[] = {
        {"1", "2.3", "1-2.3"},
        {"1\n", "2.3\n", "1-2.3"},
        {"12", "4", "12-4"},
        {"1", "0", std::nullopt},  // the root hub
        {"0", "1", std::nullopt},
        {"256", "1", std::nullopt},
        {"1", "2.0", std::nullopt},
        {"1", "2..3", std::nullopt},
        {"1", "1.2.3.4.5.6.7", "1-1.2.3.4.5.6.7"},
        {"1", "1.2.3.4.5.6.7.8", std::nullopt},  // deeper than USB allows
        {"1", "", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UsbPortPath(c.busnum, c.devpath), c.port) << c.busnum << " " << c.devpath;
}

TEST(SysfsValues, NumbersAreTakenWholeOrNotAtAll)
{
    EXPECT_EQ(ParseSysfsHex("0100\n", 4), 0x100u);
    EXPECT_EQ(ParseSysfsHex("09", 2), 9u);
    EXPECT_EQ(ParseSysfsHex("040b", 4), 0x40Bu);
    for (const char* refused : {"10000", "", "0x10", "12 ", "g"})
        EXPECT_FALSE(ParseSysfsHex(refused, 4)) << refused;
    EXPECT_EQ(ParseSysfsDecimal("4\n", 255), 4u);
    for (const char* refused : {"256", "-1", "", "4a", "99999999999999999999"})
        EXPECT_FALSE(ParseSysfsDecimal(refused, 255)) << refused;
}

}  // namespace
}  // namespace zelv4
