#include <gtest/gtest.h>

#include <string>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"
#include "sys/FileLock.h"

namespace zelv4 {
namespace {

class OneProgrammer : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }

    // The default machine whose ISP device another program has open and locked.
    std::shared_ptr<test::TestMachine> HeldMachine()
    {
        std::shared_ptr<test::TestMachine> machine = test::TestMachine::CreateDefault();
        machine->HidInterfaces().Faults(SimMachine::DEFAULT_ISP_PATH).heldElsewhere = true;
        return machine;
    }
};

// A second programmer on the same chip stops at once, sends nothing, and says why.
TEST_F(OneProgrammer, ABusyDeviceIsLeftAloneWithExitSeven)
{
    const std::string image = Image();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"erase"},
                                                 {"write", image},
                                                 {"verify", image},
                                                 {"read", dir.Path("f.dmp")},
                                                 {"exit-isp"},
                                                 {"auto", image}}) {
        SCOPED_TRACE(args[0]);
        cli.machine = HeldMachine();
        cli.sleeps.clear();
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_DEVICE_BUSY);
        EXPECT_NE(run.err.find("device busy: sim:hid0 is in use by another program"), std::string::npos) << run.err;
        EXPECT_TRUE(cli.machine->Loader().Transfers().empty());
        EXPECT_TRUE(cli.sleeps.empty()) << "Auto waited for a device that is there";
        EXPECT_EQ(cli.machine->HidInterfaces().LiveHandles(), 0);
    }
    cli.machine = HeldMachine();
    EXPECT_EQ(cli.Run({"--json", "erase"}).Json()["outcome"], "device-busy");

    // Each device of --all says so on its row, not that it was not found.
    cli.machine = HeldMachine();
    cli.machine->AddChip();
    const test::CliOutput all = cli.Run({"auto", "--all", image});
    EXPECT_EQ(all.code, EXIT_DEVICE_BUSY);
    EXPECT_NE(all.out.find("1-1  sim:hid0  device-busy  "), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("  held by another program; left alone\n"), std::string::npos) << all.out;
    EXPECT_EQ(all.out.find("Device not found"), std::string::npos) << all.out;
    EXPECT_NE(all.err.find("1-1: device busy: sim:hid0 is in use by another program"), std::string::npos) << all.err;
}

TEST_F(OneProgrammer, AStateFileInUseIsBusy)
{
    const std::string state = dir.Write("chip.state", std::string(ISP_IMAGE_SIZE, '\xFF'));
    const auto held = FileLock::TryLock(state);
    ASSERT_TRUE(held) << held.error().message;
    const test::CliOutput run = cli.Run({"--sim=" + state, "write", Image()});
    EXPECT_EQ(run.code, EXIT_DEVICE_BUSY);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("is in use by another zelv4-isp"), std::string::npos) << run.err;
    EXPECT_EQ(test::ScratchDir::Read(state), std::string(ISP_IMAGE_SIZE, '\xFF'));
}

// A device whose feature report cannot carry a block request is refused before
// anything is sent: erasing a chip that then cannot be written would leave it blank.
TEST_F(OneProgrammer, AReportTooShortForBlocksSendsNothing)
{
    for (const char* command : {"auto", "write", "verify", "read"}) {
        SCOPED_TRACE(command);
        auto machine = std::make_shared<test::TestMachine>();
        auto loader = std::make_shared<test::TestIspLoader>(33);
        loader->Flash() = test::PatternImage();
        machine->HidInterfaces().Add(SimHidInterface::IspLoader(SimMachine::DEFAULT_ISP_PATH, loader));
        cli.machine = machine;
        const std::string arg = std::string(command) == "read" ? dir.Path("f.dmp") : Image();
        const test::CliOutput run = cli.Run({command, arg});
        EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
        EXPECT_NE(run.err.find("the device's feature report is 33 bytes long, too short for the protocol's block "
                               "requests (41 bytes); nothing was sent to the device"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(loader->Transfers().empty());
        EXPECT_EQ(loader->Flash(), test::PatternImage()) << "the chip was changed";
    }
}

}  // namespace
}  // namespace zelv4
