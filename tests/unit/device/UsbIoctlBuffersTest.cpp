#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "device/UsbBusScan.h"
#include "device/UsbIoctlBuffers.h"
#include "device/sim/SimUsbTree.h"
#include "support/ParamNames.h"

namespace zelv4 {
namespace {

using namespace usbioctl;
using Bytes = std::vector<std::uint8_t>;

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A name reply as the driver fills it: the fixed part, then the UTF-16 name.
Bytes NameReply(std::size_t textOffset, std::size_t lengthOffset, std::u16string_view name, std::size_t size = 0)
{
    Bytes reply(textOffset, 0);
    for (const char16_t unit : name) {
        reply.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        reply.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    PutLe32(reply, lengthOffset, static_cast<std::uint32_t>(size != 0 ? size : reply.size()));
    return reply;
}

TEST(UsbIoctlBuffers, RequestsCarryThePortAndTheSetupPacketLittleEndian)
{
    const Bytes connection = ConnectionRequest(0x0102, CONNECTION_INFORMATION_SIZE);
    ASSERT_EQ(connection.size(), 365u);
    EXPECT_EQ((Bytes{connection.begin(), connection.begin() + 5}), (Bytes{0x02, 0x01, 0, 0, 0}));
    EXPECT_EQ(ConnectionRequest(3, CONNECTION_NAME_QUERY_SIZE), (Bytes{3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    UsbSetupPacket setup;
    setup.bmRequest = 0x80;
    setup.bRequest = 6;
    setup.wValue = 0x03FF;
    setup.wIndex = 0x6576;
    setup.wLength = 255;
    const Bytes request = DescriptorRequest(7, setup);
    ASSERT_EQ(request.size(), 267u);
    EXPECT_EQ((Bytes{request.begin(), request.begin() + 12}),
              (Bytes{7, 0, 0, 0, 0x80, 0x06, 0xFF, 0x03, 0x76, 0x65, 0xFF, 0x00}));
    EXPECT_TRUE(std::all_of(request.begin() + 12, request.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(UsbIoctlBuffers, NameRepliesGiveTheirSizeAndTextUpToTheTerminator)
{
    const Bytes root = NameReply(ROOT_HUB_NAME_TEXT_OFFSET, 0, std::u16string(u"USB#ROOT_HUB\0xx", 15));
    EXPECT_EQ(RootHubNameReplySize(Bytes(root.begin(), root.begin() + 6)), root.size()) << "the 6-byte query";
    EXPECT_EQ(RootHubNameText(root), u"USB#ROOT_HUB");

    const Bytes hub = NameReply(CONNECTION_NAME_TEXT_OFFSET, 4, u"USB#VID_05E3");
    EXPECT_EQ(ConnectionNameReplySize(Bytes(hub.begin(), hub.begin() + 10)), hub.size());
    EXPECT_EQ(ConnectionNameText(hub), u"USB#VID_05E3");

    // The text ends with the bytes returned; a half unit is dropped.
    Bytes cut(hub.begin(), hub.begin() + CONNECTION_NAME_TEXT_OFFSET + 5);
    EXPECT_EQ(ConnectionNameText(cut), u"US");
    EXPECT_FALSE(ConnectionNameText(Bytes(hub.begin(), hub.begin() + CONNECTION_NAME_TEXT_OFFSET)));
    EXPECT_FALSE(RootHubNameText(NameReply(ROOT_HUB_NAME_TEXT_OFFSET, 0, std::u16string(1, u'\0'))));
}

// A size field is trusted with an allocation only within bounds.
TEST(UsbIoctlBuffers, NameReplySizesOutsideTheirBoundsGiveNoName)
{
    EXPECT_FALSE(RootHubNameReplySize(Bytes{0x40, 0, 0})) << "length field not returned";
    EXPECT_FALSE(ConnectionNameReplySize(Bytes{1, 0, 0, 0, 0x40, 0, 0})) << "length field not returned";
    for (const std::uint32_t size : {0u, 6u}) {
        Bytes reply(6, 0);
        PutLe32(reply, 0, size);
        EXPECT_FALSE(RootHubNameReplySize(reply)) << size;
    }
    for (const std::uint32_t size : {0u, 10u}) {
        Bytes reply(10, 0);
        PutLe32(reply, 4, size);
        EXPECT_FALSE(ConnectionNameReplySize(reply)) << "10 or less: " << size;
    }
    Bytes huge(10, 0);
    PutLe32(huge, 4, 0x7FFFFFFF);
    EXPECT_FALSE(ConnectionNameReplySize(huge));
    PutLe32(huge, 4, 11);
    EXPECT_EQ(ConnectionNameReplySize(huge), 11u);
}

TEST(UsbIoctlBuffers, NodeAndConnectionInformationAreReadAtTheirOffsets)
{
    Bytes node(NODE_INFORMATION_SIZE, 0);
    node[6] = 7;
    EXPECT_EQ(NodePortCount(node), 7u);
    EXPECT_FALSE(NodePortCount(Bytes(node.begin(), node.begin() + 6)));

    Bytes info = ConnectionRequest(2, CONNECTION_INFORMATION_SIZE);
    info[4 + 8] = 0x0B;  // idVendor 0x040B
    info[4 + 9] = 0x04;
    info[4 + 10] = 0x70;  // idProduct 0x6870
    info[4 + 11] = 0x68;
    PutLe32(info, CONNECTION_STATUS_OFFSET, CONNECTION_STATUS_DEVICE_CONNECTED);
    auto connection = DecodeConnectionInformation(Bytes(info.begin(), info.begin() + 35));
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->connected);
    EXPECT_FALSE(connection->isHub);
    EXPECT_EQ(connection->vendorId, 0x040B);
    EXPECT_EQ(connection->productId, 0x6870);

    info[CONNECTION_DEVICE_IS_HUB_OFFSET] = 1;
    PutLe32(info, CONNECTION_STATUS_OFFSET, 0);  // a hub port whose status is not "connected"
    connection = DecodeConnectionInformation(info);
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->isHub);
    EXPECT_FALSE(connection->connected);
    EXPECT_FALSE(DecodeConnectionInformation(Bytes(info.begin(), info.begin() + 34))) << "header cut short";
}

// The descriptor reply as the hub driver returns it, through the scan: the length
// byte must equal the bytes returned minus the 12-byte request header.
struct DescriptorCase {
    const char* label;
    int lengthByteDelta;    // added to the string descriptor's own length byte
    int returnedDelta;      // bytes returned beyond the descriptor
    std::uint8_t typeByte;  // 3 for a string descriptor
    int expectedMatches;
};

void PrintTo(const DescriptorCase& c, std::ostream* os)
{
    *os << c.label;
}

class DescriptorReplyTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(DescriptorReplyTest, LengthByteMustEqualBytesReturnedMinusTwelve)
{
    const DescriptorCase& c = GetParam();
    Bytes descriptor = SimUsbTree::StringDescriptor(u"ZEL-V4");
    descriptor[0] = static_cast<std::uint8_t>(descriptor[0] + c.lengthByteDelta);
    descriptor[1] = c.typeByte;
    Bytes buffer = ConnectionRequest(1, DESCRIPTOR_REQUEST_SIZE);
    std::copy(descriptor.begin(), descriptor.end(), buffer.begin() + DESCRIPTOR_REQUEST_HEADER_SIZE);
    const std::size_t returned = DESCRIPTOR_REQUEST_HEADER_SIZE + descriptor.size() + c.returnedDelta;
    const Bytes data = DescriptorReplyData(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(returned)));
    EXPECT_EQ(data.size(), returned - DESCRIPTOR_REQUEST_HEADER_SIZE);

    SimUsbTree tree;
    tree.AttachDevice(tree.AddController(0, 1), 1, data);
    EXPECT_EQ(UsbBusScan(tree).CountBusDevices(), c.expectedMatches);
}

INSTANTIATE_TEST_SUITE_P(UsbIoctlBuffers, DescriptorReplyTest,
                         ::testing::Values(DescriptorCase{"Consistent", 0, 0, 3, 1},
                                           DescriptorCase{"LengthByteOneShort", -2, 0, 3, 0},
                                           DescriptorCase{"OneByteMoreReturned", 0, 1, 3, 0},
                                           DescriptorCase{"OddAndConsistent", 1, 1, 3, 0},
                                           DescriptorCase{"NotAString", 0, 0, 2, 0}),
                         test::LabelName());

TEST(UsbIoctlBuffers, AReplyNoLongerThanTheHeaderHasNoDescriptor)
{
    EXPECT_TRUE(DescriptorReplyData(Bytes(12, 0)).empty());
    EXPECT_TRUE(DescriptorReplyData(Bytes(3, 0)).empty());
}

}  // namespace
}  // namespace zelv4
