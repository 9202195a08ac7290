#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "device/sim/SimMachine.h"
#include "support/CliRunner.h"
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

class BusCommandsTest : public ::testing::Test {
protected:
    BusCommandsTest() : context(out, err)
    {
        machine = std::make_shared<SimMachine>();
        context.simulated = true;
        context.platform = machine;
    }

    SimUsbTree& Tree() { return machine->UsbTree(); }

    std::ostringstream out, err;
    CliContext context;
    std::shared_ptr<SimMachine> machine;
};

TEST_F(BusCommandsTest, ProbeWithoutSignatureDeviceSaysNotFoundAndWhyWhenDenied)
{
    const auto root = Tree().AddController(0, 2);
    Tree().AttachDevice(root, 1, SimUsbTree::StringDescriptor(u"zel-v4"));
    RunProbe(context);
    EXPECT_EQ(context.exitCode, 4);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "Device not found !!\n");

    err.str("");
    Tree().AttachDevice(root, 2, std::nullopt, UsbRequestError::PermissionDenied);
    RunProbe(context);
    EXPECT_EQ(context.exitCode, 4);
    EXPECT_NE(err.str().find("1 USB device(s) could not be asked: permission denied"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(BusPermissionHint()), std::string::npos) << err.str();
}

TEST_F(BusCommandsTest, ListingShowsWhereEachDeviceIsAndWhatItSaid)
{
    const auto root = Tree().AddController(0, 3);
    Tree().AttachSignatureDevice(root, 1);
    const auto hub = Tree().AttachHub(root, 3, 2);
    auto odd = SimUsbTree::StringDescriptor(u"Z");
    odd.push_back(0);
    odd[0] = 5;
    Tree().AttachDevice(hub, 1, odd);
    Tree().AttachDevice(hub, 2, std::nullopt, UsbRequestError::PermissionDenied);

    PrintBusScan(context, *machine);
    EXPECT_EQ(out.str(),
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

TEST_F(BusCommandsTest, DeviceTextCannotDriveTheTerminal)
{
    const auto root = Tree().AddController(0, 1);
    Tree().AttachDevice(root, 1, SimUsbTree::StringDescriptor(u"\x1b[2J\"\u00e9\xd800"));
    PrintBusScan(context, *machine);
    EXPECT_NE(out.str().find("answered \"\\x1b[2J\\\"\xc3\xa9\\ud800\"  not the signature\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace zelv4
