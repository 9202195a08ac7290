#include <gtest/gtest.h>

#include <algorithm>

#include "device/UsbBusScan.h"
#include "device/sim/SimUsbTree.h"

namespace zelv4 {
namespace {

class UsbBusScanTest : public ::testing::Test {
protected:
    int CountBusDevices(const UsbBusObserver& observer = {}) { return UsbBusScan(tree).CountBusDevices(observer); }

    std::vector<UsbBusEvent> ScanWithEvents()
    {
        std::vector<UsbBusEvent> events;
        CountBusDevices([&](const UsbBusEvent& event) { events.push_back(event); });
        return events;
    }

    static std::vector<std::uint8_t> Reply(std::u16string_view text) { return SimUsbTree::StringDescriptor(text); }

    SimUsbTree tree;
};

TEST_F(UsbBusScanTest, SignatureDeviceOnRootHubOrBehindExternalHubIsCounted)
{
    const auto root = tree.AddController(0, 4);
    const auto hub = tree.AttachHub(root, 3, 4);
    tree.AttachSignatureDevice(hub, 2);
    EXPECT_EQ(CountBusDevices(), 1);

    tree.AttachSignatureDevice(root, 1);
    EXPECT_EQ(CountBusDevices(), 2);
}

TEST_F(UsbBusScanTest, SignatureRequestIsTheStringDescriptorRequest)
{
    tree.AttachSignatureDevice(tree.AddController(0, 1), 1);
    CountBusDevices();
    ASSERT_EQ(tree.Requests().size(), 1u);
    const auto& setup = tree.Requests()[0].setup;
    EXPECT_EQ(setup.bmRequest, 0x80);
    EXPECT_EQ(setup.bRequest, 6);
    EXPECT_EQ(setup.wValue, 0x03FF);
    EXPECT_EQ(setup.wIndex, 0x6576);
    EXPECT_EQ(setup.wLength, 255);
}

TEST_F(UsbBusScanTest, OnlyTheExactSignatureMatches)
{
    const auto root = tree.AddController(0, 8);
    tree.AttachDevice(root, 1, Reply(u"zel-v4"));
    tree.AttachDevice(root, 2, Reply(u"ZEL-V4 "));
    tree.AttachDevice(root, 3, Reply(u"ZEL-V"));
    tree.AttachDevice(root, 4, Reply(u"XZEL-V4"));
    tree.AttachDevice(root, 5, Reply(u""));
    EXPECT_EQ(CountBusDevices(), 0);

    // The device's text ends at its first zero unit, whatever follows it.
    tree.AttachDevice(root, 6, Reply(std::u16string(u"ZEL-V4\0junk", 11)));
    EXPECT_EQ(CountBusDevices(), 1);
}

TEST_F(UsbBusScanTest, MalformedRepliesAreIgnored)
{
    const auto root = tree.AddController(0, 8);
    auto odd = Reply(u"ZEL-V4");
    odd.push_back(0);
    odd[0] = static_cast<std::uint8_t>(odd.size());  // 15: consistent but odd
    tree.AttachDevice(root, 1, odd);

    auto shortLength = Reply(u"ZEL-V4");
    shortLength[0] -= 2;  // disagrees with the bytes returned
    tree.AttachDevice(root, 2, shortLength);

    auto longLength = Reply(u"ZEL-V4");
    longLength[0] += 2;
    tree.AttachDevice(root, 3, longLength);

    auto wrongType = Reply(u"ZEL-V4");
    wrongType[1] = 2;
    tree.AttachDevice(root, 4, wrongType);

    tree.AttachDevice(root, 5, std::vector<std::uint8_t>{});
    tree.AttachDevice(root, 6, std::vector<std::uint8_t>{1});
    EXPECT_EQ(CountBusDevices(), 0);

    const auto events = ScanWithEvents();
    const auto rejected = std::count_if(events.begin(), events.end(), [](const UsbBusEvent& e) {
        return e.kind == UsbBusEventKind::DeviceReplyRejected;
    });
    EXPECT_EQ(rejected, 6);
}

TEST_F(UsbBusScanTest, HubPortIsNeverAskedItself)
{
    const auto root = tree.AddController(0, 2);
    const auto hub = tree.AttachHub(root, 1, 2);
    // Even a hub that would answer the signature is not asked.
    tree.Port(root, 1).signatureReply = Reply(u"ZEL-V4");
    tree.AttachSignatureDevice(hub, 2);

    EXPECT_EQ(CountBusDevices(), 1);
    ASSERT_EQ(tree.Requests().size(), 1u);
    EXPECT_EQ(tree.Requests()[0].hubName, hub);
    EXPECT_EQ(tree.Requests()[0].port, 2u);
}

TEST_F(UsbBusScanTest, HubPortIsFollowedWhateverItsConnectionStatus)
{
    const auto root = tree.AddController(0, 1);
    const auto hub = tree.AttachHub(root, 1, 1);
    tree.Port(root, 1).connected = false;
    tree.AttachSignatureDevice(hub, 1);
    EXPECT_EQ(CountBusDevices(), 1);
}

TEST_F(UsbBusScanTest, OnlyControllersZeroToNineAreLookedFor)
{
    tree.AttachSignatureDevice(tree.AddController(10, 1), 1);
    EXPECT_EQ(CountBusDevices(), 0);

    tree.AttachSignatureDevice(tree.AddController(9, 1), 1);
    tree.AttachSignatureDevice(tree.AddController(0, 1), 1);
    EXPECT_EQ(CountBusDevices(), 2);
}

TEST_F(UsbBusScanTest, FailingCallsSkipTheirPartAndTheScanGoesOn)
{
    tree.AddControllerWithoutRootHub(0);

    const auto unopenable = tree.AddController(1, 1);
    tree.AttachSignatureDevice(unopenable, 1);
    tree.Hub(unopenable).openFails = true;

    const auto noNodeInfo = tree.AddController(2, 1);
    tree.AttachSignatureDevice(noNodeInfo, 1);
    tree.Hub(noNodeInfo).nodeInfoFails = true;

    const auto root = tree.AddController(3, 6);
    tree.AttachSignatureDevice(root, 1).connectionInfoFails = true;
    tree.AttachDevice(root, 2, std::nullopt, UsbRequestError::Failed);
    tree.AttachDevice(root, 3, std::nullopt, UsbRequestError::PermissionDenied);
    tree.Port(root, 4).isHub = true;  // a hub whose name cannot be had
    tree.Port(root, 4).connected = true;
    tree.AttachSignatureDevice(root, 6);

    EXPECT_EQ(CountBusDevices(), 1);
}

TEST_F(UsbBusScanTest, CountStartsFromZeroOnEveryScan)
{
    tree.AttachSignatureDevice(tree.AddController(0, 1), 1);
    UsbBusScan scan(tree);
    EXPECT_EQ(scan.CountBusDevices(), 1);
    EXPECT_EQ(scan.CountBusDevices(), 1);
}

TEST_F(UsbBusScanTest, HubsDeeperThanFiveTiersBelowTheRootAreRefused)
{
    // A chain of seven hubs, each with a signature device on port 1.
    auto hub = tree.AddController(0, 2);
    tree.AttachSignatureDevice(hub, 1);
    for (int tier = 1; tier <= 7; ++tier) {
        hub = tree.AttachHub(hub, 2, 2);
        tree.AttachSignatureDevice(hub, 1);
    }
    // The root hub and the hubs of tiers 1 to 5 are scanned.
    EXPECT_EQ(CountBusDevices(), 6);

    const auto events = ScanWithEvents();
    const auto tooDeep = std::find_if(events.begin(), events.end(),
                                      [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::HubTooDeep; });
    ASSERT_NE(tooDeep, events.end());
    EXPECT_EQ(tooDeep->ports, (std::vector<unsigned>{2, 2, 2, 2, 2, 2}));
}

TEST_F(UsbBusScanTest, HubNamingItselfEndsAtTheTierLimit)
{
    const auto root = tree.AddController(0, 1);
    const auto loop = tree.AttachHub(root, 1, 2);
    tree.Port(loop, 1).isHub = true;
    tree.Port(loop, 1).connected = true;
    tree.Port(loop, 1).downstreamHubName = loop;
    tree.AttachSignatureDevice(loop, 2);

    EXPECT_EQ(CountBusDevices(), 5);
    EXPECT_EQ(tree.HubOpens(), 1u + 5u);
}

TEST_F(UsbBusScanTest, HostilePortCountIsCappedAtOneByte)
{
    const auto root = tree.AddController(0, 100000);
    tree.AttachSignatureDevice(root, 255);
    tree.AttachSignatureDevice(root, 256);
    EXPECT_EQ(CountBusDevices(), 1);
}

TEST_F(UsbBusScanTest, ObserverHearsWhereEachDeviceIsAndWhatBecameOfIt)
{
    tree.AddDefaultBus();
    const auto hub = tree.AttachHub("sim:usb0", 3, 2);
    tree.AttachDevice(hub, 2, std::nullopt, UsbRequestError::PermissionDenied);

    const auto events = ScanWithEvents();

    auto find = [&](UsbBusEventKind kind) {
        return std::find_if(events.begin(), events.end(), [&](const UsbBusEvent& e) { return e.kind == kind; });
    };
    const auto answered = find(UsbBusEventKind::DeviceAnswered);
    ASSERT_NE(answered, events.end());
    EXPECT_EQ(answered->hubName, "sim:usb0");
    EXPECT_EQ(answered->ports, std::vector<unsigned>{1});
    EXPECT_EQ(answered->text, u"ZEL-V4");
    EXPECT_TRUE(answered->matched);
    EXPECT_EQ(answered->connection.vendorId, SimUsbTree::SIGNATURE_DEVICE_VENDOR_ID);

    const auto noAnswer = find(UsbBusEventKind::DeviceNoAnswer);
    ASSERT_NE(noAnswer, events.end());
    EXPECT_EQ(noAnswer->ports, std::vector<unsigned>{2});

    const auto notAsked = find(UsbBusEventKind::DeviceNotAsked);
    ASSERT_NE(notAsked, events.end());
    EXPECT_EQ(notAsked->hubName, hub);
    EXPECT_EQ(notAsked->ports, (std::vector<unsigned>{3, 2}));
    EXPECT_EQ(notAsked->error, UsbRequestError::PermissionDenied);

    const auto scanned = find(UsbBusEventKind::HubScanned);
    ASSERT_NE(scanned, events.end());
    EXPECT_EQ(scanned->portCount, 4u);
}

}  // namespace
}  // namespace zelv4
