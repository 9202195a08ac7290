// The hidraw platform and the ISP device search against the emulated machine's
// sysfs tree and /dev/hidraw nodes; the test binary runs under umockdev-wrapper.
#include <gtest/gtest.h>

#include <glib/gstdio.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/IspConstants.h"
#include "device/IspDeviceConnection.h"
#include "emulation/EmulatedMachine.h"
#include "support/OsPlatform.h"

namespace zelv4 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A loader whose feature report carries `featureBytes` bytes after the report ID.
LoaderOptions Loader(const std::string& port, unsigned hidraw, std::size_t featureBytes = 40)
{
    return {.port = port, .featureLength = featureBytes + 1, .hidraw = hidraw};
}

class HidrawSearchTest : public ::testing::Test {
protected:
    void FindIspDevice() { connection.FindIspDevice(); }
    void CloseIspDevice() { connection.CloseIspDevice(); }

    EmulatedMachine machine;
    std::unique_ptr<DevicePlatform> os = test::OsPlatform();
    HidPlatform& platform = os->Hid();
    IspDeviceConnection connection{platform};
};

TEST_F(HidrawSearchTest, MatchingDeviceIsOpenedWithFeatureLengthFromItsDescriptor)
{
    machine.AddKeyboard("1-1", 0);
    LoaderOptions isp = Loader("1-2", 1);
    isp.flash.assign(EmulatedLoader::FLASH_SIZE, 0x5A);
    EmulatedLoader& loader = machine.AddLoader(isp);

    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr) << connection.Status();
    EXPECT_EQ(connection.Caps().FeatureReportByteLength, 41);
    EXPECT_EQ(connection.Caps().UsagePage, 0xFF00);
    EXPECT_EQ(connection.Attributes().VendorID, ISP_VENDOR_ID);
    EXPECT_EQ(connection.Attributes().VersionNumber, 0x0100);
    EXPECT_NE(connection.Status().find("FeatureReportByteLength: 41 \n"), std::string::npos) << connection.Status();
    EXPECT_EQ(connection.PlainMessage(), "");

    // Transfers go out with exactly the length asked for, and the reply comes back.
    Bytes request(ISP_REPORT_SIZE, 0);
    request[ISP_OFFSET_COMMAND] = ISP_CMD_READ_BLOCK;
    EXPECT_TRUE(connection.Device()->SetFeature(request.data(), request.size()));
    EXPECT_EQ(loader.SetReports(), std::vector<Bytes>{request});
    Bytes reply(ISP_REPORT_SIZE, 0);
    EXPECT_TRUE(connection.Device()->GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply[ISP_OFFSET_COMMAND], ISP_CMD_READ_BLOCK);
    EXPECT_EQ(Bytes(reply.begin() + ISP_OFFSET_DATA, reply.end()), Bytes(ISP_REPORT_SIZE - ISP_OFFSET_DATA, 0x5A));
    EXPECT_EQ(loader.Violations(), 0u);
}

TEST_F(HidrawSearchTest, NodesAreTakenInNumericOrderAndTheLaterMatchWins)
{
    // Lexically hidraw10 sorts before hidraw2; numerically it comes after.
    machine.AddLoader(Loader("1-1", 2));
    machine.AddLoader(Loader("1-2", 10, 64));
    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr) << connection.Status();
    EXPECT_EQ(connection.Caps().FeatureReportByteLength, 65);
}

// What the search knows of a node without opening it: its ids from its HID device,
// its port from its USB device.
TEST_F(HidrawSearchTest, IdsAndPortOfANodeComeFromItsDevicesWithoutOpeningIt)
{
    machine.AddLoader(Loader("1-2.3", 3));
    machine.AddKeyboard("1-1", 4);
    machine.AddUhidKeyboard(5);

    const auto ids = platform.PeekAttributes("/dev/hidraw3");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->VendorID, ISP_VENDOR_ID);
    EXPECT_EQ(ids->ProductID, ISP_PRODUCT_ID);
    const auto keyboard = platform.PeekAttributes("/dev/hidraw5");
    ASSERT_TRUE(keyboard) << "a device off USB still has its ids";
    EXPECT_EQ(keyboard->VendorID, EmulatedMachine::KEYBOARD_VENDOR);
    EXPECT_EQ(platform.PortPath("/dev/hidraw3"), "1-2.3");
    EXPECT_EQ(platform.PortPath("/dev/hidraw4"), "1-1");
    EXPECT_EQ(platform.PortPath("/dev/hidraw5"), std::nullopt) << "not on USB";
    for (const char* absent : {"/dev/hidraw9", "/dev/../etc/passwd"}) {
        EXPECT_FALSE(platform.PeekAttributes(absent)) << absent;
        EXPECT_FALSE(platform.PortPath(absent)) << absent;
    }
    EXPECT_EQ(machine.OpenHidrawNodes(), 0u);
}

// One programmer per chip: a second search finds the device busy; a listing tells
// the same without taking the lock, so it never makes a programmer find it busy.
TEST_F(HidrawSearchTest, AHeldDeviceIsBusyAndALookDoesNotHoldIt)
{
    machine.AddLoader(Loader("1-1", 0));
    IspDeviceConnection look{platform};
    look.SetSearchLock(SearchLock::LookOnly);
    look.FindIspDevice();
    ASSERT_NE(look.Device(), nullptr) << look.Status();
    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr) << "the look took the lock";

    IspDeviceConnection second{platform};
    second.FindIspDevice();
    EXPECT_EQ(second.Device(), nullptr);
    EXPECT_EQ(second.BusyPaths(), std::vector<std::string>{"/dev/hidraw0"});
    look.FindIspDevice();
    EXPECT_EQ(look.BusyPaths(), std::vector<std::string>{"/dev/hidraw0"});

    CloseIspDevice();
    second.FindIspDevice();
    EXPECT_NE(second.Device(), nullptr);
}

TEST_F(HidrawSearchTest, NonMatchingDeviceIsNotOpenedAsTheIspDevice)
{
    machine.AddKeyboard("1-1");
    FindIspDevice();
    EXPECT_EQ(connection.Device(), nullptr);
    EXPECT_EQ(connection.Attributes().VendorID, EmulatedMachine::KEYBOARD_VENDOR);
    EXPECT_EQ(connection.Status().rfind(" : 4d1e55b2-f16f-11cf-88cb-001111000030\n"), connection.Status().size() - 40);
    EXPECT_TRUE(connection.DeniedPaths().empty());
}

TEST_F(HidrawSearchTest, UnreadableDescriptorIsThePreparsedDataFailure)
{
    LoaderOptions isp = Loader("1-1", 0);
    isp.descriptorFails = true;
    machine.AddLoader(isp);
    FindIspDevice();
    EXPECT_NE(connection.Device(), nullptr);
    EXPECT_EQ(connection.PlainMessage(), "Get HID PREPARED DATA fail! \n");
    EXPECT_EQ(connection.Caps().FeatureReportByteLength, 0);
}

TEST_F(HidrawSearchTest, ShortFeatureTransferIsAFailure)
{
    LoaderOptions isp = Loader("1-1", 0);
    isp.shortBy = 1;
    const EmulatedLoader& loader = machine.AddLoader(isp);
    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr);
    // A request and its reply the loader takes, each reported one byte short.
    Bytes report(ISP_REPORT_SIZE, 0);
    report[ISP_OFFSET_COMMAND] = ISP_CMD_READ_BLOCK;
    EXPECT_FALSE(connection.Device()->SetFeature(report.data(), report.size()));
    EXPECT_FALSE(connection.Device()->GetFeature(report.data(), report.size()));
    EXPECT_EQ(loader.Violations(), 0u);
}

TEST_F(HidrawSearchTest, EveryNodeTheSearchOpensIsClosedOnEveryPath)
{
    machine.AddLoader(Loader("1-1", 0));  // replaced by the later match
    machine.AddKeyboard("1-2", 1);
    machine.AddLoader(Loader("1-3", 2, 64));
    machine.AddKeyboard("1-4", 3);

    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr);
    EXPECT_EQ(connection.Caps().FeatureReportByteLength, 65);
    EXPECT_EQ(machine.OpenHidrawNodes(), 1u) << "only the device in use stays open";
    CloseIspDevice();
    EXPECT_EQ(machine.OpenHidrawNodes(), 0u);

    // The attribute query failing ends the search early: the earlier match stays
    // open and the failing node is closed.
    machine.Unplug("1-2", false);
    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr);
    EXPECT_EQ(connection.Caps().FeatureReportByteLength, 41);
    EXPECT_EQ(machine.OpenHidrawNodes(), 1u);
    CloseIspDevice();
    EXPECT_EQ(machine.OpenHidrawNodes(), 0u);
}

TEST_F(HidrawSearchTest, DeviceUnpluggedMidOperationFailsItsTransfers)
{
    machine.AddLoader(Loader("1-1", 0));
    FindIspDevice();
    ASSERT_NE(connection.Device(), nullptr);
    Bytes report(ISP_REPORT_SIZE, 0);
    report[ISP_OFFSET_COMMAND] = ISP_CMD_READ_BLOCK;
    ASSERT_TRUE(connection.Device()->SetFeature(report.data(), report.size()));

    machine.Unplug("1-1", false);
    EXPECT_FALSE(connection.Device()->SetFeature(report.data(), report.size()));
    EXPECT_FALSE(connection.Device()->GetFeature(report.data(), report.size()));
    CloseIspDevice();
    EXPECT_EQ(machine.OpenHidrawNodes(), 0u);

    // The next search finds no device behind the stale node.
    FindIspDevice();
    EXPECT_EQ(connection.Device(), nullptr);
    EXPECT_EQ(machine.OpenHidrawNodes(), 0u);
}

// Takes CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH out of this process's effective
// set, so that file modes apply even to root (the tests run as root in CI).
bool DropFileAccessOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return syscall(SYS_capset, &header, data) == 0;
}

// The node exists but its mode lets nobody open it. The check runs in a child
// process that gives up root's file access override first, so open() really
// fails with EACCES there, as it does for a user without the udev rule.
TEST_F(HidrawSearchTest, NodeWithoutPermissionIsSkippedAndRemembered)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    machine.AddLoader(Loader("1-1", 0));
    machine.AddLoader(Loader("1-2", 1, 64));
    ASSERT_EQ(g_chmod(machine.NodeFile("/dev/hidraw1").c_str(), 0), 0);

    EXPECT_EXIT(
        {
            if (!DropFileAccessOverride()) {
                std::fprintf(stderr, "capset failed\n");
                std::_Exit(2);
            }
            HidOpenError error = HidOpenError::None;
            const bool opened = platform.Open("/dev/hidraw1", error) != nullptr;
            FindIspDevice();
            const bool ok = !opened && error == HidOpenError::PermissionDenied && connection.Device() &&
                            connection.Caps().FeatureReportByteLength == 41 &&
                            connection.DeniedPaths() == std::vector<std::string>{"/dev/hidraw1"};
            std::fprintf(stderr, ok ? "denied path remembered\n" : "unexpected result\n");
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "denied path remembered");
}

}  // namespace
}  // namespace zelv4
