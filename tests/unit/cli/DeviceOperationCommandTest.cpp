#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/output/CapturedOutput.h"
#include "cli/run/CliWindow.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

class OperationCommands : public ::testing::Test {
protected:
    test::ScratchDir dir;
    // The simulated chip of every --sim run starts erased, so an all-0xFF image
    // verifies and anything else differs at its first byte that is not 0xFF.
    std::string Erased() { return dir.Write("erased.bin", std::string(ISP_IMAGE_SIZE, '\xFF')); }
};

TEST_F(OperationCommands, PrintSuccessTextsOnStdoutAndExitZero)
{
    const std::string image = dir.Write("fw.bin", "\x12\x34\x56");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--sim", "erase"}, "MassErase Function OK !\n"},
        {{"--sim", "write", image}, "Write Command Succeeded !\n"},
        {{"--sim", "verify", Erased()}, "Verify Succeeded !\n"},
        {{"--sim", "exit-isp"}, "Exit USB ISP Function OK !!!\n"},
        {{"--sim", "auto", image}, "ButtonAuto Function OK !!!\n"},
        {{"--sim", "reconnect"}, "ZEL-V4 Found !\n"},
    };
    for (const auto& [args, text] : cases) {
        const test::CliOutput run = test::CliRunner().Run(args);
        EXPECT_EQ(run.code, 0) << args[1];
        EXPECT_EQ(run.out, text);
        EXPECT_EQ(run.err, "") << args[1];
    }
}

TEST_F(OperationCommands, AutoProgramsTheShippedExample)
{
    const test::CliOutput run =
        test::CliRunner().Run({"--sim", "auto", std::string(ZELV4_SOURCE_DIR) + "/examples/demo.hex"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "ButtonAuto Function OK !!!\n");
}

TEST_F(OperationCommands, VerifyNamesTheFirstDifferenceAndExitsFive)
{
    const test::CliOutput run =
        test::CliRunner().Run({"--sim", "verify", dir.Write("fw.bin", std::string("\xFF\xFF\x5A", 3))});
    EXPECT_EQ(run.code, EXIT_VERIFY_DIFFERENCE);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Verify Fail !!!\nfirst difference at 0x0002: chip 0xFF, file 0x5A\n");
}

TEST_F(OperationCommands, ReadStoresTheSimulatedFlash)
{
    const std::string dump = dir.Path("flash.dmp");
    const test::CliOutput run = test::CliRunner().Run({"--sim", "read", dump});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "Read Succeeded !\n");
    EXPECT_EQ(test::ScratchDir::Read(dump), std::string(ISP_IMAGE_SIZE, '\xFF'));
}

TEST_F(OperationCommands, FileFailuresExitThree)
{
    if (std::filesystem::exists("/dev/full")) {
        const test::CliOutput full = test::CliRunner().Run({"--sim", "read", "/dev/full"});
        EXPECT_EQ(full.code, EXIT_FILE);
        EXPECT_EQ(full.out, "");
        EXPECT_EQ(full.err, "Read Fail !!!\ncannot write \"/dev/full\": No space left on device\n");
    }
    const test::CliOutput uncreatable = test::CliRunner().Run({"--sim", "read", dir.Path("missing/flash.dmp")});
    EXPECT_EQ(uncreatable.code, EXIT_FILE);
    EXPECT_EQ(uncreatable.err.rfind("Open file error !!\n", 0), 0u) << uncreatable.err;

    for (const char* command : {"write", "verify", "auto"}) {
        const test::CliOutput missing = test::CliRunner().Run({"--sim", command, dir.Path("missing.hex")});
        EXPECT_EQ(missing.code, EXIT_FILE) << command;
        EXPECT_EQ(missing.out, "");
        EXPECT_EQ(missing.err.rfind("Open file error !!\n", 0), 0u) << missing.err;
    }
}

TEST_F(OperationCommands, MissingPathIsAUsageError)
{
    EXPECT_EQ(test::CliRunner().Run({"--sim", "write"}).code, EXIT_USAGE);
    EXPECT_EQ(test::CliRunner().Run({"--sim", "read"}).code, EXIT_USAGE);
}

TEST(CliWindow, SendsInformationToStdoutAndEverythingElseToStderr)
{
    CapturedOutput said;
    CliWindow window(said);
    window.MessageBox("Verify Succeeded !", MessageIcon::Information);
    window.MessageBox("Verify Fail !!!", MessageIcon::Error);
    window.MessageBox("Get HID PREPARED DATA fail! \n", MessageIcon::None);
    window.WindowMessageBox("Time Out !! Please check device and try again.", "", MessageIcon::Error);
    EXPECT_EQ(said.Text(OutputStream::Out), "Verify Succeeded !\n");
    EXPECT_EQ(said.Text(OutputStream::Err),
              "Verify Fail !!!\nGet HID PREPARED DATA fail!\nTime Out !! Please check device and try again.\n");

    window.SetDialogAnswer("flash.dmp");
    EXPECT_EQ(window.RunSaveFileDialog({}), "flash.dmp");
    window.SetDialogAnswer(std::nullopt);
    EXPECT_EQ(window.RunOpenFileDialog({}), std::nullopt);
}

// The exit code follows from the result alone, for every way an operation ends.
TEST(ExitCodeFor, MapsEachOutcomeOfARealRun)
{
    test::ScratchDir dir;
    const std::string image = dir.Write("fw.bin", test::ImageBytes(test::PatternImage()));

    {
        test::OpsHarness harness;
        harness.fields.m_strFile = image;
        EXPECT_EQ(ExitCodeFor(harness.ops.OnAuto()), EXIT_OK);
        harness.Loader().Reenter();
        harness.Loader().Flash()[100] = 0;
        EXPECT_EQ(ExitCodeFor(harness.ops.OnVerify()), EXIT_VERIFY_DIFFERENCE);
        harness.Loader().FailSetAt(harness.Loader().SetCount() + 1);
        EXPECT_EQ(ExitCodeFor(harness.ops.OnMassErase()), EXIT_TRANSFER_FAILED);
        harness.fields.m_strFile = dir.Path("missing.bin");
        EXPECT_EQ(ExitCodeFor(harness.ops.OnWrite()), EXIT_FILE);
    }
    {
        test::OpsHarness harness;
        harness.fields.m_strFile = image;
        harness.Loader().FailSetAt(1 + 640 + 640 + 1);  // the leave-ISP request after a good verify
        const OperationResult result = harness.ops.OnAuto();
        ASSERT_TRUE(result.resetFailed);
        EXPECT_EQ(ExitCodeFor(result), EXIT_TRANSFER_FAILED);
    }
    {
        test::OpsHarness harness(test::EmptyMachine());
        EXPECT_EQ(ExitCodeFor(harness.ops.OnMassErase()), EXIT_NO_DEVICE);
        EXPECT_EQ(ExitCodeFor(harness.ops.OnReconnect()), EXIT_NO_DEVICE);
    }
    {
        test::OpsHarness harness(test::LateIspMachine(1000));
        harness.fields.m_strFile = image;
        EXPECT_EQ(ExitCodeFor(harness.ops.OnAuto()), EXIT_NO_DEVICE);  // timed out
    }
    {
        auto machine = std::make_unique<test::TestMachine>();
        SimHidInterface isp = SimHidInterface::IspLoader("sim:locked", machine->LoaderPtr());
        machine->HidInterfaces().Faults(isp.path).openFailure = test::OpenFailure::PermissionDenied;
        machine->HidInterfaces().Add(isp);
        test::OpsHarness harness(std::move(machine));
        EXPECT_EQ(ExitCodeFor(harness.ops.OnWrite()), EXIT_FILE);  // no file: checked first
        harness.fields.m_strFile = image;
        EXPECT_EQ(ExitCodeFor(harness.ops.OnWrite()), EXIT_PERMISSION_DENIED);
    }
}

}  // namespace
}  // namespace zelv4
