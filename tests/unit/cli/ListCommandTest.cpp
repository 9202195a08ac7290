#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/output/HidInterfacesText.h"
#include "core/IspConstants.h"
#include "device/IspDeviceConnection.h"
#include "device/sim/SimMachine.h"
#include "support/CliRunner.h"
#include "support/TestMachine.h"
#include "sys/PermissionHint.h"

namespace zelv4 {
namespace {

std::string RunList(const std::vector<std::string>& args, int& code)
{
    const test::CliOutput run = test::CliRunner().Run(args);
    code = run.code;
    return run.out + run.err;
}

TEST(ListCommand, SimulatedMachineShowsBothInterfacesAndFindsTheIspDevice)
{
    for (const auto& args : {std::vector<std::string>{"list", "--sim"}, std::vector<std::string>{"--sim", "list"}}) {
        int code = -1;
        const std::string text = RunList(args, code);
        EXPECT_EQ(code, 0);
        EXPECT_NE(text.find("[0] sim:hid0\n    id 040b:6876 version 0100  ZEL-V4 ISP device\n"
                            "    feature report length 41\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("[1] sim:hid1\n    id 046d:c31c version 0000  not a ZEL-V4 ISP device\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("ISP device: found, feature report length 41\n"), std::string::npos) << text;
        EXPECT_EQ(text.find("permission denied"), std::string::npos) << text;
    }
}

// The HID part of the listing on a scripted machine.
class HidListing : public ::testing::Test {
protected:
    std::string List()
    {
        CommandResult listing;
        DescribeHidInterfaces(machine.Hid(), listing);
        return listing.Text();
    }
    test::TestMachine machine;
};

TEST_F(HidListing, SaysWhyInterfacesCouldNotBeOpenedAndNamesTheUdevRule)
{
    SimHidInterface denied = SimHidInterface::IspLoader("sim:denied", machine.LoaderPtr());
    machine.HidInterfaces().Faults(denied.path).openFailure = test::OpenFailure::PermissionDenied;
    SimHidInterface broken = SimHidInterface::Other("sim:broken", 0x1234, 0x5678);
    machine.HidInterfaces().Faults(broken.path).openFailure = test::OpenFailure::Failed;
    machine.HidInterfaces().Add(denied);
    machine.HidInterfaces().Add(broken);
    const std::string text = List();
    EXPECT_NE(text.find("[0] sim:denied\n    cannot open: permission denied\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[1] sim:broken\n    cannot open: skipped by the search\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ISP device: not found\n"), std::string::npos) << text;
    EXPECT_NE(text.find(DevicePermissionHint()), std::string::npos) << text;
}

TEST_F(HidListing, RefusedInterfacesOfOtherDevicesNeedNoUdevRule)
{
    SimHidInterface keyboard = SimHidInterface::Other("sim:keyboard", 0x046D, 0xC31C);
    machine.HidInterfaces().Faults(keyboard.path).openFailure = test::OpenFailure::PermissionDenied;
    machine.HidInterfaces().Add(keyboard);
    machine.HidInterfaces().Add(SimHidInterface::IspLoader("sim:isp", machine.LoaderPtr()));
    const std::string text = List();
    EXPECT_NE(text.find("[0] sim:keyboard\n    cannot open: permission denied\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ISP device: found, feature report length 41\n"), std::string::npos) << text;
    EXPECT_EQ(text.find(DevicePermissionHint()), std::string::npos) << text;
}

// The listing shows the search's own decisions, and which interfaces it never
// examined: those after the one it ended at, and those past its limit.
TEST_F(HidListing, MarksWhereTheSearchEndedAndInterfacesPastItsLimit)
{
    machine.HidInterfaces().Add(SimHidInterface::Other("sim:other0", 0x1234, 0x5678));
    SimHidInterface noDescriptor = SimHidInterface::IspLoader("sim:nodesc", machine.LoaderPtr());
    machine.HidInterfaces().Faults(noDescriptor.path).preparsedFails = true;
    machine.HidInterfaces().Add(noDescriptor);
    for (unsigned i = 2; i <= ISP_MAX_HID_INTERFACES; ++i)
        machine.HidInterfaces().Add(SimHidInterface::Other("sim:other" + std::to_string(i), 0x1234, 0x5678));
    std::string text = List();
    EXPECT_NE(text.find("[0] sim:other0\n    id 1234:5678 version 0000  not a ZEL-V4 ISP device\n  [1] "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[1] sim:nodesc\n    id 040b:6876 version 0100  ZEL-V4 ISP device\n"
                        "    report descriptor unreadable: the search stops here\n"
                        "  [2] sim:other2\n    not examined: the search ended before it\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[20] sim:other20\n    past the first 20: not examined by the search\n"), std::string::npos)
        << text;
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 0);

    machine.HidInterfaces().Faults("sim:other0").detailFails = true;
    text = List();
    EXPECT_NE(text.find("[0] (no path)\n    interface details unreadable: the search stops here\n"
                        "  [1] sim:nodesc\n    not examined: the search ended before it\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ISP device: not found\n"), std::string::npos) << text;
}

// udev matches attribute values as strings: ids must be lower-case hex, and the
// rule must cover both the hidraw node and the USB device node.
TEST(UdevRule, GrantsSeatAccessToTheHidrawAndUsbNodesOfTheZelV4)
{
    std::ifstream file(std::string(ZELV4_SOURCE_DIR) + "/res/70-zelv4-writer.rules");
    ASSERT_TRUE(file);
    std::vector<std::string> rules;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#')
            rules.push_back(line);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_NE(rules[0].find("SUBSYSTEM==\"hidraw\""), std::string::npos);
    EXPECT_NE(rules[0].find("ATTRS{idVendor}==\"040b\""), std::string::npos);
    EXPECT_NE(rules[0].find("ATTRS{idProduct}==\"6876\""), std::string::npos);
    EXPECT_NE(rules[1].find("SUBSYSTEM==\"usb\""), std::string::npos);
    EXPECT_NE(rules[1].find("{idVendor}==\"040b\""), std::string::npos);
    EXPECT_NE(rules[1].find("{idProduct}==\"6876\""), std::string::npos);
    for (const std::string& rule : rules)
        EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos) << rule;
}

}  // namespace
}  // namespace zelv4
