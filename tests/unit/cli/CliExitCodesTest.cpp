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
class CliExitCodes : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }

    static std::shared_ptr<SimMachine> DefaultMachine() { return SimMachine::CreateDefault(); }
    // The ISP interface is there, but opening it is refused.
    static std::shared_ptr<SimMachine> LockedMachine()
    {
        auto machine = std::make_shared<SimMachine>();
        SimHidInterface isp = SimHidInterface::IspLoader("sim:locked", machine->LoaderPtr());
        isp.openFailure = SimHidInterface::OpenFailure::PermissionDenied;
        machine->HidInterfaces().Add(isp);
        machine->UsbTree().AddDefaultBus();
        return machine;
    }
};

TEST_F(CliExitCodes, ZeroOnlyForSuccess)
{
    const test::CliOutput run = cli.Run({"--sim", "erase"});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.out, "MassErase Function OK !\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliExitCodes, OneWhenTheDeviceFailsATransfer)
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
TEST_F(CliExitCodes, AutoWhoseLeaveIspFailsIsNotZero)
{
    cli.machine = DefaultMachine();
    cli.machine->Loader().FailSetAt(1 + 640 + 640 + 1);
    const test::CliOutput run = cli.Run({"auto", Image()});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
    EXPECT_EQ(run.out, "ButtonAuto Function OK !!!\n");
    EXPECT_EQ(run.err, "Reset Fail !!!\nthe flash was programmed and verified, but the chip did not take the "
                       "request to leave ISP mode\n");
}

TEST_F(CliExitCodes, TwoForUsageErrors)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--sim", "write"},
                                                 {"--sim"},
                                                 {"--sim", "frobnicate"},
                                                 {"--sim=", "erase"},
                                                 {"--bogus", "erase"},
                                                 {"erase", "extra"},
                                                 {"--sim", "watch", "--count", "0", "x.hex"}}) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_USAGE) << args.back();
        EXPECT_EQ(run.out, "") << args.back();
        EXPECT_NE(run.err, "") << args.back();
    }
}

// An empty value (an unset variable in a script) chooses nothing: refused, never
// taken for "any device" or "no log"; so are a command that does not exist and a
// bus count limited to one port. Nothing is sent, no file made.
TEST_F(CliExitCodes, UsageErrorsSayWhatIsWrong)
{
    const std::string image = Image();
    const std::string commands = "the commands are: checksum, image, erase, write, verify, read, exit-isp, auto, "
                                 "reconnect, list, probe, watch";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"write", "--port", "", image}, "empty value for --port"},
        {{"erase", "--device", ""}, "empty value for --device"},
        {{"watch", "--port", "", image}, "empty value for --port"},
        {{"watch", "--port=", image}, "empty value for --port"},
        {{"watch", "--log", "", image}, "empty value for --log"},
        {{"image", image, "-o", ""}, "empty value for --output"},
        {{"--sim=", "write", "erase"}, "empty value for --sim=STATE"},
        {{"frob"}, "unknown command 'frob'; " + commands},
        {{"--sim-chips", "2", "frob", "x"}, "unknown command 'frob'; " + commands},
        {{"reconnect", "--port", "1-1"}, "reconnect counts the ZEL-V4 devices on the whole bus; it takes no --port"},
    };
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path(""));
    for (const auto& [args, message] : cases) {
        cli.machine = DefaultMachine();
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_USAGE) << message;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), message);
        EXPECT_TRUE(cli.machine->Loader().Transfers().empty()) << message;
    }
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("write"))) << "--sim= took the command for a state file";
}

// A command whose result goes to stdout fails when stdout is closed, as coreutils'
// do, rather than losing the result; an operation's status line is no result.
TEST_F(CliExitCodes, ThreeWhenTheResultHasNowhereToGo)
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

TEST_F(CliExitCodes, ThreeForFilesThatCannotBeLoadedOrWritten)
{
    for (const char* command : {"write", "verify", "auto"}) {
        const test::CliOutput run = cli.Run({"--sim", command, dir.Path("missing.hex")});
        EXPECT_EQ(run.code, EXIT_FILE) << command;
        EXPECT_EQ(run.err.rfind("Open file error !!\n", 0), 0u) << run.err;
    }
    EXPECT_EQ(cli.Run({"--sim", "read", dir.Path("no/such/dir.dmp")}).code, EXIT_FILE);
    EXPECT_EQ(cli.Run({"checksum", dir.Path("missing.bin")}).code, EXIT_FILE);
}

TEST_F(CliExitCodes, FourWhenThereIsNoDeviceOrTheWaitTimesOut)
{
    cli.machine = std::make_shared<SimMachine>();
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

TEST_F(CliExitCodes, FiveWhenVerifyFindsADifference)
{
    cli.machine = DefaultMachine();
    cli.machine->Loader().Flash().fill(0xFF);
    cli.machine->Loader().Flash()[0x1234] = 0x00;
    const test::CliOutput run = cli.Run({"verify", dir.Write("erased.bin", std::string(ISP_IMAGE_SIZE, '\xFF'))});
    EXPECT_EQ(run.code, EXIT_VERIFY_DIFFERENCE);
    EXPECT_EQ(run.err, "Verify Fail !!!\nfirst difference at 0x1234: chip 0x00, file 0xFF\n");
}

TEST_F(CliExitCodes, SixWhenTheDeviceIsThereButCannotBeOpened)
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
TEST_F(CliExitCodes, RefusedNodesOfOtherDevicesStillMeanNoDevice)
{
    cli.machine = std::make_shared<SimMachine>();
    SimHidInterface keyboard = SimHidInterface::Other("sim:keyboard", 0x046D, 0xC31C);
    keyboard.openFailure = SimHidInterface::OpenFailure::PermissionDenied;
    cli.machine->HidInterfaces().Add(keyboard);
    const test::CliOutput run = cli.Run({"erase"});
    EXPECT_EQ(run.code, EXIT_NO_DEVICE);
    EXPECT_EQ(run.err, "MassErase Function Fail !!!\nno ZEL-V4 ISP device (040b:6876) was found\n");
}

TEST_F(CliExitCodes, HelpDocumentsTheTable)
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

TEST_F(CliExitCodes, WriteAndVerifyWarnOncePerKindOfTolerance)
{
    // One record with a wrong checksum and one beyond the flash.
    const std::string hex = ":0100000042FF\n" + test::HexData(0x4FFF, {1, 2}) + "\n" + test::HEX_END + "\n";
    const std::string path = dir.Write("t.hex", hex);
    const std::string warnings = "warning: 1 record(s) with a wrong checksum were loaded as they are\n"
                                 "warning: 1 data byte(s) addressed beyond 0x4FFF were dropped\n";
    cli.machine = DefaultMachine();
    test::CliOutput run = cli.Run({"--lenient", "write", path});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.out, "Write Command Succeeded !\n");
    EXPECT_EQ(run.err, warnings);
    run = cli.Run({"--lenient", "verify", path});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.err, warnings);
    run = cli.Run({"auto", "--lenient", path});
    EXPECT_EQ(run.out, "ButtonAuto Function OK !!!\n");
    EXPECT_EQ(run.err, warnings);
    // Once for all devices, whether they pass or fail.
    cli.machine = DefaultMachine();
    run = cli.Run({"--lenient", "write", "--all", path});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.err, warnings);
}

// `--sim` takes no value: the file after it is the command's, never a state file.
TEST_F(CliExitCodes, SimIsAPlainFlagWhereverItStands)
{
    const std::string image = Image();
    const std::string before = test::ScratchDir::Read(image);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"write", "--sim", image}, {"--sim", "write", image}, {"write", image, "--sim"}}) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_OK) << run.err;
        EXPECT_EQ(run.out, "Write Command Succeeded !\n");
    }
    EXPECT_EQ(test::ScratchDir::Read(image), before);
}

// A state path that looks like an option is a path; the flag it spells stays unset.
TEST_F(CliExitCodes, SimStateMayLookLikeAnOption)
{
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path(""));
    const test::CliOutput run = cli.Run({"--sim=--json", "erase"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(run.code, EXIT_OK) << run.err;
    EXPECT_EQ(run.out, "MassErase Function OK !\n") << "not a JSON object";
    EXPECT_EQ(std::filesystem::file_size(dir.Path("--json")), ISP_IMAGE_SIZE);
}

TEST_F(CliExitCodes, ARepeatedOptionIsNamed)
{
    const std::string image = Image();
    for (const auto& [args, message] :
         {std::pair<std::vector<std::string>, std::string>{{"--sim=a", "--sim=b", "erase"},
                                                           "--sim=STATE was given 2 times; give it once\n"},
          {{"image", image, "-o", "x", "-o", "y"}, "--output was given 2 times; give it once\n"}}) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_USAGE);
        EXPECT_EQ(run.err, message + "Run with --help for more information.\n");
    }
}

}  // namespace
}  // namespace zelv4
