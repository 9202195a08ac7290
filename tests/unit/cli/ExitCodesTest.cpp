#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"
#include "sys/PermissionHint.h"

namespace zelv4 {
namespace {

// Every exit code a script can see, each from a real run of the command line.
class ExitCodes : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }

    static std::shared_ptr<test::TestMachine> DefaultMachine() { return test::TestMachine::CreateDefault(); }
    // The ISP interface is there, but opening it is refused.
    static std::shared_ptr<test::TestMachine> LockedMachine()
    {
        auto machine = std::make_shared<test::TestMachine>();
        SimHidInterface isp = SimHidInterface::IspLoader("sim:locked", machine->LoaderPtr());
        machine->HidInterfaces().Faults(isp.path).openFailure = test::OpenFailure::PermissionDenied;
        machine->HidInterfaces().Add(isp);
        machine->UsbTree().AddDefaultBus();
        return machine;
    }
};

TEST_F(ExitCodes, ZeroOnlyForSuccess)
{
    const test::CliOutput run = cli.Run({"--sim", "erase"});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.out, "MassErase Function OK !\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(ExitCodes, OneWhenTheDeviceFailsATransfer)
{
    cli.machine = DefaultMachine();
    cli.machine->Loader().FailSetAt(1);
    test::CliOutput run = cli.Run({"erase"});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "MassErase Function Fail !!!\n");

    // Block transfers also say where the device gave up.
    cli.machine = DefaultMachine();
    cli.machine->Loader().FailSetAt(11);
    run = cli.Run({"write", Image()});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
    EXPECT_EQ(run.err, "Write Function Fail !!!\nthe device failed a transfer at block 10 (address 0x0140)\n");

    cli.machine = DefaultMachine();
    cli.machine->Loader().FailGetAt(3);
    run = cli.Run({"read", dir.Path("part.dmp")});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
    EXPECT_EQ(run.err, "Read Fail !!!\nthe device failed a transfer at block 2 (address 0x0040)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("part.dmp"))) << "no partial dump";
}

// Auto verified the chip, but the chip did not leave ISP mode: not a success.
TEST_F(ExitCodes, AutoWhoseLeaveIspFailsIsNotZero)
{
    cli.machine = DefaultMachine();
    cli.machine->Loader().FailSetAt(1 + 640 + 640 + 1);
    const test::CliOutput run = cli.Run({"auto", Image()});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
    EXPECT_EQ(run.out, "ButtonAuto Function OK !!!\n");
    EXPECT_EQ(run.err, "Reset Fail !!!\nthe flash was programmed and verified, but the chip did not take the "
                       "request to leave ISP mode\n");
}

// A command whose result goes to stdout fails when stdout is closed, as coreutils'
// do, rather than losing the result; an operation's status line is no result.
TEST_F(ExitCodes, ThreeWhenTheResultHasNowhereToGo)
{
    const std::string image = Image();
    cli.stdoutClosed = true;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"checksum", image},
                                                 {"--sim", "list"},
                                                 {"--json", "--sim", "erase"},
                                                 {"--version"},
                                                 {"--sim", "write", "--all", image},
                                                 {"--sim", "watch", "--count", "1", image},
                                                 {"image", image, "-o", "-"},
                                                 {"--sim", "read", "-"}}) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_FILE) << args[0] << " " << args[1];
        EXPECT_EQ(run.err, "standard output is closed\n");
    }
    EXPECT_EQ(cli.Run({"--sim", "write", image}).code, EXIT_OK);
}

TEST_F(ExitCodes, ThreeForFilesThatCannotBeLoadedOrWritten)
{
    for (const char* command : {"write", "verify", "auto"}) {
        const test::CliOutput run = cli.Run({"--sim", command, dir.Path("missing.hex")});
        EXPECT_EQ(run.code, EXIT_FILE) << command;
        EXPECT_EQ(run.err.rfind("Open file error !!\n", 0), 0u) << run.err;
    }
    EXPECT_EQ(cli.Run({"--sim", "read", dir.Path("no/such/dir.dmp")}).code, EXIT_FILE);
    EXPECT_EQ(cli.Run({"checksum", dir.Path("missing.bin")}).code, EXIT_FILE);
}

TEST_F(ExitCodes, FourWhenThereIsNoDeviceOrTheWaitTimesOut)
{
    cli.machine = std::make_shared<test::TestMachine>();
    // The single operations show their own failure text; the terminal also says why.
    const std::string none = "no ZEL-V4 ISP device (040b:6876) was found\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"erase"}, "MassErase Function Fail !!!\n" + none},
        {{"write", Image()}, "Write Function Fail !!!\n" + none},
        {{"exit-isp"}, "Exit USB ISP Function Fail !!!\n" + none},
        {{"auto", Image()}, "Device not found !!\n"},
        {{"reconnect"}, "Device not found !!\n"},
        {{"probe"}, "Device not found !!\n"},
    };
    for (const auto& [args, err] : cases) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_NO_DEVICE) << args[0];
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_EQ(run.err, err) << args[0];
    }
    EXPECT_TRUE(cli.sleeps.empty()) << "no signature device: Auto does not wait";

    // A signature device on the bus whose ISP interface never comes.
    cli.machine = test::LateIspMachine(1000);
    const test::CliOutput run = cli.Run({"auto", Image()});
    EXPECT_EQ(run.code, EXIT_NO_DEVICE);
    EXPECT_EQ(run.err, "Time Out !! Please check device and try again.\n");
    EXPECT_EQ(cli.sleeps, std::vector<unsigned>(31, 1000));
}

TEST_F(ExitCodes, FiveWhenVerifyFindsADifference)
{
    cli.machine = DefaultMachine();
    cli.machine->Loader().Flash().fill(0xFF);
    cli.machine->Loader().Flash()[0x1234] = 0x00;
    const test::CliOutput run = cli.Run({"verify", dir.Write("erased.bin", std::string(ISP_IMAGE_SIZE, '\xFF'))});
    EXPECT_EQ(run.code, EXIT_VERIFY_DIFFERENCE);
    EXPECT_EQ(run.err, "Verify Fail !!!\nfirst difference at 0x1234: chip 0x00, file 0xFF\n");
}

TEST_F(ExitCodes, SixWhenTheDeviceIsThereButCannotBeOpened)
{
    cli.machine = LockedMachine();
    const std::string expected = "permission denied: sim:locked\n" + DevicePermissionHint();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"write", Image()}, {"erase"}, {"exit-isp"}}) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_PERMISSION_DENIED) << args[0];
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }
}

// On most systems every other HID node is refused too; that is no reason to blame
// permissions when no ZEL-V4 is attached.
TEST_F(ExitCodes, RefusedNodesOfOtherDevicesStillMeanNoDevice)
{
    cli.machine = std::make_shared<test::TestMachine>();
    SimHidInterface keyboard = SimHidInterface::Other("sim:keyboard", 0x046D, 0xC31C);
    cli.machine->HidInterfaces().Faults(keyboard.path).openFailure = test::OpenFailure::PermissionDenied;
    cli.machine->HidInterfaces().Add(keyboard);
    const test::CliOutput run = cli.Run({"erase"});
    EXPECT_EQ(run.code, EXIT_NO_DEVICE);
    EXPECT_EQ(run.err, "MassErase Function Fail !!!\nno ZEL-V4 ISP device (040b:6876) was found\n");
}

TEST_F(ExitCodes, HelpDocumentsTheTable)
{
    const test::CliOutput run = cli.Run({"--help"});
    EXPECT_EQ(run.code, EXIT_OK);
    for (const char* line : {"  0  success", "  1  the device failed a transfer", "  2  usage error",
                             "  3  the firmware file is refused or cannot be loaded", "  4  no device, or the wait",
                             "  5  verify found a difference", "  6  permission denied", "  7  device busy"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_NE(run.out.find("--json"), std::string::npos);
    EXPECT_NE(run.out.find("--quiet"), std::string::npos);
    EXPECT_NE(run.out.find("--lenient"), std::string::npos);
}

}  // namespace
}  // namespace zelv4
