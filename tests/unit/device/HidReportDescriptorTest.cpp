#include <gtest/gtest.h>

#include <vector>

#include "device/HidReportDescriptor.h"

namespace zelv4 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The ISP loader's descriptor: one vendor-defined collection holding a 40-byte
// feature report and nothing else.
const Bytes ISP_LOADER = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x28,        //   Report Count (40)
    0x09, 0x01,        //   Usage (1)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
    0xC0,              // End Collection
};

// The boot keyboard descriptor from the HID class definition.
const Bytes BOOT_KEYBOARD = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
};

// Three reports with IDs: a 3-byte input, and feature reports of 2 and 7 bytes.
const Bytes WITH_REPORT_IDS = {
    0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01,                    // vendor page, usage 2, application
    0x85, 0x01, 0x75, 0x08, 0x95, 0x03, 0x09, 0x01, 0x81, 0x02,  // ID 1: 3 input bytes
    0x85, 0x02, 0x95, 0x02, 0x09, 0x02, 0xB1, 0x02,              // ID 2: 2 feature bytes
    0x85, 0x03, 0x95, 0x07, 0x09, 0x03, 0xB1, 0x02,              // ID 3: 7 feature bytes
    0x85, 0x03, 0x75, 0x01, 0x95, 0x04, 0xB1, 0x03,              // ID 3 again: 4 constant bits
    0xC0,
};

TEST(HidReportDescriptor, IspLoaderFeatureReportCountsTheIdByte)
{
    const auto caps = ParseHidReportDescriptor(ISP_LOADER);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->FeatureReportByteLength, 41);
    EXPECT_EQ(caps->InputReportByteLength, 0);
    EXPECT_EQ(caps->OutputReportByteLength, 0);
    EXPECT_EQ(caps->Usage, 0x0001);
    EXPECT_EQ(caps->UsagePage, 0xFF00);
    EXPECT_EQ(caps->NumberLinkCollectionNodes, 1);
    EXPECT_EQ(caps->NumberFeatureValueCaps, 1);
    EXPECT_EQ(caps->NumberFeatureButtonCaps, 0);
}

TEST(HidReportDescriptor, BootKeyboardLengthsAndCaps)
{
    const auto caps = ParseHidReportDescriptor(BOOT_KEYBOARD);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->InputReportByteLength, 9);   // modifiers, reserved byte, six keys
    EXPECT_EQ(caps->OutputReportByteLength, 2);  // five LEDs padded to a byte
    EXPECT_EQ(caps->FeatureReportByteLength, 0);
    EXPECT_EQ(caps->Usage, 0x0006);
    EXPECT_EQ(caps->UsagePage, 0x0001);
    EXPECT_EQ(caps->NumberInputButtonCaps, 2);  // modifier bits and the key array
    EXPECT_EQ(caps->NumberOutputButtonCaps, 1);
    EXPECT_EQ(caps->NumberInputValueCaps, 0);
}

TEST(HidReportDescriptor, WithReportIdsTheLongestReportOfEachKindWins)
{
    const auto caps = ParseHidReportDescriptor(WITH_REPORT_IDS);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->InputReportByteLength, 4);
    EXPECT_EQ(caps->FeatureReportByteLength, 9);  // 7 bytes + 4 bits -> 8 bytes, plus the ID
    EXPECT_EQ(caps->NumberFeatureValueCaps, 2);
    EXPECT_EQ(caps->UsagePage, 0xFF00);
    EXPECT_EQ(caps->Usage, 0x0002);
}

TEST(HidReportDescriptor, PushPopAndNestedCollectionsAndLongItems)
{
    const Bytes descriptor = {
        0x05, 0x01, 0x0B, 0x02, 0x00, 0x01, 0x00,  // page 1, 4-byte usage naming page 1 usage 2
        0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,        // application, physical
        0xA4, 0x75, 0x10, 0x95, 0x02, 0x81, 0x02,  // push; two 16-bit values
        0xB4, 0x75, 0x08, 0x95, 0x01, 0x81, 0x06,  // pop (size/count were unset); one byte
        0xFE, 0x02, 0x10, 0xAA, 0xBB,              // a long item, skipped
        0xC0, 0xC0,
    };
    const auto caps = ParseHidReportDescriptor(descriptor);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->UsagePage, 0x0001);
    EXPECT_EQ(caps->Usage, 0x0002);
    EXPECT_EQ(caps->NumberLinkCollectionNodes, 2);
    EXPECT_EQ(caps->InputReportByteLength, 6);  // 32 bits, then 0 bits after pop, then 8: 5 bytes + ID
}

TEST(HidReportDescriptor, MalformedDescriptorsAreRefused)
{
    const auto refused = [](Bytes bytes) { return !ParseHidReportDescriptor(bytes).has_value(); };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused({0x06, 0x00}));                                                        // item cut short
    EXPECT_TRUE(refused({0xA1, 0x01, 0x75, 0x08}));                                            // collection never ends
    EXPECT_TRUE(refused({0xC0}));                                                              // end without collection
    EXPECT_TRUE(refused({0xB4, 0xA1, 0x01, 0xC0}));                                            // pop without push
    EXPECT_TRUE(refused({0xA1, 0x01, 0x85, 0x00, 0xC0}));                                      // report ID 0
    EXPECT_TRUE(refused({0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x85, 0x01, 0xC0}));  // ID after data
    EXPECT_TRUE(refused({0xA1, 0x01, 0x76, 0x01, 0x01, 0xC0}));                                // report size 257
    EXPECT_TRUE(refused({0xA1, 0x01, 0xFE, 0x05, 0x00, 0x01, 0xC0}));                          // long item past the end
    EXPECT_TRUE(refused({0x75, 0x08, 0x95, 0x01, 0x81, 0x02}));                                // no collection at all
    EXPECT_TRUE(refused({0xA1, 0x01, 0x0C, 0xC0}));                                            // reserved item type
    Bytes deep(2 * (HID_DESCRIPTOR_MAX_COLLECTION_DEPTH + 1), 0xA1);
    for (std::size_t i = 1; i < deep.size(); i += 2)
        deep[i] = 0x00;
    EXPECT_TRUE(refused(deep));
    Bytes tooLong = ISP_LOADER;
    tooLong.resize(HID_DESCRIPTOR_MAX_BYTES, 0x34);  // pad with empty Physical Minimum items
    EXPECT_FALSE(refused(tooLong));
    tooLong.push_back(0x34);
    EXPECT_TRUE(refused(tooLong));
}

TEST(HidReportDescriptor, ReportsLongerThanTheLengthFieldAreRefused)
{
    // 128 x 4096 bits is 65536 bytes: with the ID byte it no longer fits 16 bits.
    const Bytes tooLong = {0xA1, 0x01, 0x75, 0x80, 0x96, 0x00, 0x10, 0xB1, 0x02, 0xC0};
    EXPECT_FALSE(ParseHidReportDescriptor(tooLong));

    // 128 x 4000 bits does, and so does a second such report under another ID.
    const Bytes fits = {0xA1, 0x01, 0x85, 0x01, 0x75, 0x80, 0x96, 0xA0, 0x0F, 0xB1, 0x02, 0x85, 0x02, 0xB1, 0x02, 0xC0};
    const auto caps = ParseHidReportDescriptor(fits);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->FeatureReportByteLength, 64001);
}

}  // namespace
}  // namespace zelv4
