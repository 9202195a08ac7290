#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/output/BusScanText.h"
#include "device/sim/SimMachine.h"
#include "support/CliRunner.h"
#include "support/TestMachine.h"
#include "sys/PermissionHint.h"

namespace zelv4 {
namespace {

TEST(ProbeCommand, SimulatedMachineHasTheSignatureDevice)
{
    for (const auto& args : {std::vector<std::string>{"probe", "--sim"}, std::vector<std::string>{"--sim", "probe"}}) {
        const test::CliOutput run = test::CliRunner().Run(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "ZEL-V4 Found !\n");
        EXPECT_EQ(run.err, "");
    }
}

// A scripted bus, probed through the command line and listed as `list` shows it.
class BusScan : public ::testing::Test {
protected:
    BusScan() { cli.machine = std::make_shared<test::TestMachine>(); }

    SimUsbTree& Tree() { return cli.machine->UsbTree(); }
    std::string Listing()
    {
        CommandResult listing;
        DescribeBusScan(cli.machine->UsbBus(), listing);
        return listing.Text();
    }

    test::CliRunner cli;
};

TEST_F(BusScan, ProbeWithoutSignatureDeviceSaysNotFoundAndWhyWhenDenied)
{
    const auto root = Tree().AddController(0, 2);
    Tree().AttachDevice(root, 1, SimUsbTree::StringDescriptor(u"zel-v4"));
    test::CliOutput run = cli.Run({"probe"});
    EXPECT_EQ(run.code, 4);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Device not found !!\n");

    Tree().AttachDevice(root, 2, std::nullopt, UsbRequestError::PermissionDenied);
    run = cli.Run({"probe"});
    EXPECT_EQ(run.code, 4);
    EXPECT_NE(run.err.find("1 USB device(s) could not be asked: permission denied"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(BusPermissionHint()), std::string::npos) << run.err;
}

TEST_F(BusScan, ListingShowsWhereEachDeviceIsAndWhatItSaid)
{
    const auto root = Tree().AddController(0, 3);
    Tree().AttachSignatureDevice(root, 1);
    const auto hub = Tree().AttachHub(root, 3, 2);
    auto odd = SimUsbTree::StringDescriptor(u"Z");
    odd.push_back(0);
    odd[0] = 5;
    Tree().AttachDevice(hub, 1, odd);
    Tree().AttachDevice(hub, 2, std::nullopt, UsbRequestError::PermissionDenied);

    EXPECT_EQ(Listing(),
              "USB bus:\n"
              "  controller 0, root hub sim:usb0: 3 ports\n"
              "    port 1 of sim:usb0: device 040b:6875 answered \"ZEL-V4\"  ZEL-V4\n"
              "    port 3 of sim:usb0: hub 0000:0000, not asked itself\n"
              "  hub sim:usb0-3: 2 ports\n"
              "    port 3.1 of sim:usb0-3: device 0000:0000 answered with no valid string descriptor: 05 03 5a 00 00\n"
              "    port 3.2 of sim:usb0-3: device 0000:0000 not asked: permission denied\n"
              "Bus scan: 1 device answers the ZEL-V4 signature\n"
              "Some USB devices could not be asked: permission denied.\n" +
                  BusPermissionHint());
}

TEST_F(BusScan, DeviceTextCannotDriveTheTerminal)
{
    const auto root = Tree().AddController(0, 1);
    Tree().AttachDevice(root, 1, SimUsbTree::StringDescriptor(u"\x1b[2J\"\u00e9\xd800"));
    const std::string listing = Listing();
    EXPECT_NE(listing.find("answered \"\\x1b[2J\\\"\xc3\xa9\\ud800\"  not the signature\n"), std::string::npos)
        << listing;
    EXPECT_EQ(listing.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace zelv4
