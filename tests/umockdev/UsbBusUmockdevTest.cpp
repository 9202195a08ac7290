// The libusb bus platform against the emulated machine's sysfs tree and usbfs
// nodes; the test binary runs under umockdev-wrapper.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/UsbBusScan.h"
#include "emulation/EmulatedMachine.h"
#include "support/OsPlatform.h"

namespace zelv4 {
namespace {

std::vector<std::uint8_t> StringDescriptor(std::u16string_view text)
{
    return EmulatedMachine::StringDescriptor(text);
}

class UsbBusUmockdevTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(umockdev_in_mock_environment()) << "run this binary under umockdev-wrapper"; }

    // The events of one scan; matches holds its count.
    std::vector<UsbBusEvent> Scan()
    {
        std::vector<UsbBusEvent> events;
        matches = UsbBusScan(platform).CountBusDevices([&](const UsbBusEvent& event) { events.push_back(event); });
        return events;
    }

    // Declared first: the emulated nodes must be there before the platform looks.
    EmulatedMachine bus;
    std::unique_ptr<DevicePlatform> os = test::OsPlatform();
    UsbBusPlatform& platform = os->UsbBus();
    int matches = 0;
};

TEST_F(UsbBusUmockdevTest, SignatureDeviceBehindExternalHubIsCounted)
{
    bus.AddRootHub(1, 4);
    bus.AddHub("1-2", 4);
    bus.AddSignatureDevice("1-2.3", StringDescriptor(u"ZEL-V4"));
    bus.AddSignatureDevice("1-1", std::nullopt);  // some device that stalls the request

    const auto events = Scan();
    EXPECT_EQ(matches, 1);

    const auto answered = std::find_if(events.begin(), events.end(),
                                       [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::DeviceAnswered; });
    ASSERT_NE(answered, events.end());
    EXPECT_EQ(answered->hubName, "usb:1-2");
    EXPECT_EQ(answered->ports, (std::vector<unsigned>{2, 3}));
    EXPECT_EQ(answered->text, u"ZEL-V4");

    // The port count is the hub's (its maxchild), not that of the ports in use.
    const auto hubScanned = std::find_if(events.begin(), events.end(), [](const UsbBusEvent& e) {
        return e.kind == UsbBusEventKind::HubScanned && e.hubName == "usb:1-2";
    });
    ASSERT_NE(hubScanned, events.end());
    EXPECT_EQ(hubScanned->portCount, 4u);

    // The devices are asked, the hubs never.
    EXPECT_TRUE(bus.WasAskedForSignature("1-2.3"));
    EXPECT_TRUE(bus.WasAskedForSignature("1-1"));
    EXPECT_FALSE(bus.WasAskedForSignature("usb1"));
    EXPECT_FALSE(bus.WasAskedForSignature("1-2"));
}

TEST_F(UsbBusUmockdevTest, DeviceThatCannotBeOpenedIsNotAskedAndTheScanGoesOn)
{
    bus.AddRootHub(1, 2);
    bus.AddSignatureDevice("1-1", StringDescriptor(u"ZEL-V4"));
    bus.RemoveUsbNode("1-1");
    bus.AddSignatureDevice("1-2", StringDescriptor(u"ZEL-V4"));

    const auto events = Scan();
    EXPECT_EQ(matches, 1);
    const auto notAsked = std::find_if(events.begin(), events.end(),
                                       [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::DeviceNotAsked; });
    ASSERT_NE(notAsked, events.end());
    EXPECT_EQ(notAsked->ports, std::vector<unsigned>{1});
    EXPECT_EQ(notAsked->error, UsbRequestError::NotOpened);
}

TEST_F(UsbBusUmockdevTest, LowerCaseAnswerIsNotCounted)
{
    bus.AddRootHub(1, 2);
    bus.AddSignatureDevice("1-1", StringDescriptor(u"zel-v4"));

    const auto events = Scan();
    EXPECT_EQ(matches, 0);
    const auto answered = std::find_if(events.begin(), events.end(),
                                       [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::DeviceAnswered; });
    ASSERT_NE(answered, events.end()) << "the device should have been asked and answered";
    EXPECT_EQ(answered->text, u"zel-v4");
    EXPECT_FALSE(answered->matched);
}

TEST_F(UsbBusUmockdevTest, OddLengthReplyIsIgnored)
{
    bus.AddRootHub(1, 2);
    auto odd = StringDescriptor(u"ZEL-V4");
    odd.push_back(0);
    odd[0] = static_cast<std::uint8_t>(odd.size());
    bus.AddSignatureDevice("1-2", odd);

    const auto events = Scan();
    EXPECT_EQ(matches, 0);
    const auto rejected = std::find_if(events.begin(), events.end(), [](const UsbBusEvent& e) {
        return e.kind == UsbBusEventKind::DeviceReplyRejected;
    });
    ASSERT_NE(rejected, events.end());
    EXPECT_EQ(rejected->reply, odd);
}

// The controllers are listed as a scan starts; every hub and port after that is
// looked up by name, however many there are.
TEST_F(UsbBusUmockdevTest, AScanListsTheBusOnce)
{
    bus.AddRootHub(1, 4);
    bus.AddRootHub(2, 2);
    bus.AddHub("1-2.4", 4);
    bus.AddSignatureDevice("1-2.4.1", StringDescriptor(u"ZEL-V4"));
    bus.AddSignatureDevice("2-1", StringDescriptor(u"ZEL-V4"));
    for (int scan = 1; scan <= 2; ++scan) {
        const unsigned before = bus.BusListings();
        Scan();
        EXPECT_EQ(matches, 2);
        EXPECT_EQ(bus.BusListings() - before, 1u) << "scan " << scan;
    }
}

TEST_F(UsbBusUmockdevTest, ControllersAreTheRootHubsInBusOrder)
{
    bus.AddRootHub(3, 1);
    bus.AddRootHub(1, 1);
    bus.AddSignatureDevice("3-1", StringDescriptor(u"ZEL-V4"));
    bus.AddSignatureDevice("1-1", StringDescriptor(u"ZEL-V4"));

    std::vector<std::pair<unsigned, std::string>> scanned;
    matches = UsbBusScan(platform).CountBusDevices([&](const UsbBusEvent& e) {
        if (e.kind == UsbBusEventKind::HubScanned) {
            scanned.emplace_back(e.controller, e.hubName);
        }
    });
    EXPECT_EQ(matches, 2);
    EXPECT_EQ(scanned, (std::vector<std::pair<unsigned, std::string>>{{0, "usb:1"}, {1, "usb:3"}}));
}

}  // namespace
}  // namespace zelv4
