#include <gtest/gtest.h>

#include <filesystem>

#include "core/IspConstants.h"
#include "support/OpsHarness.h"

namespace zelv4::test {
namespace {

using Log = std::vector<std::string>;

class SingleOperations : public ::testing::Test {
protected:
    ScratchDir scratch;
    FirmwareImage image = PatternImage();

    void UseImageFile(OpsHarness& harness) { harness.fields.m_strFile = scratch.Write("fw.bin", ImageBytes(image)); }
};

TEST_F(SingleOperations, MassEraseShowsOkAndRestoresTheWindow)
{
    OpsHarness harness;
    harness.Loader().Flash().fill(0x00);

    const OperationResult result = harness.ops.OnMassErase();

    EXPECT_EQ(harness.log, (Log{"show", "disable", "find:found", "message:info:MassErase Function OK !", "close",
                                "collect", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(harness.Loader().Flash()[0x4FFF], 0xFF);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(SingleOperations, MassEraseFailuresTellNoDeviceFromAFailedTransfer)
{
    OpsHarness absent(EmptyMachine());
    const OperationResult noDevice = absent.ops.OnMassErase();
    EXPECT_EQ(absent.log, (Log{"show", "disable", "find:none", "message:error:MassErase Function Fail !!!", "close",
                               "collect", "enable"}));
    EXPECT_EQ(noDevice.outcome, OperationOutcome::NoDevice);
    EXPECT_FALSE(noDevice.deviceFound);

    OpsHarness refusing;
    refusing.Loader().FailSetAt(1);
    const OperationResult failed = refusing.ops.OnMassErase();
    EXPECT_EQ(failed.outcome, OperationOutcome::TransferFailed);
    EXPECT_EQ(failed.LastMessage(), "MassErase Function Fail !!!");
    EXPECT_TRUE(refusing.DeviceClosed());
}

TEST_F(SingleOperations, WriteSendsEveryBlockWithItsAddressAndLengthByte)
{
    OpsHarness harness;
    UseImageFile(harness);

    const OperationResult result = harness.ops.OnWrite();

    EXPECT_EQ(harness.log, (Log{"show", "disable", "find:found", "message:info:Write Command Succeeded !", "close",
                                "collect", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(result.blocksDone, ISP_BLOCK_COUNT);
    ASSERT_TRUE(result.checksum.has_value());
    EXPECT_EQ(*result.checksum, ImageChecksum(image));

    const auto sets = harness.Sets();
    ASSERT_EQ(sets.size(), ISP_BLOCK_COUNT);
    for (std::size_t k = 0; k < ISP_BLOCK_COUNT; ++k) {
        const auto& bytes = sets[k].bytes;
        ASSERT_EQ(bytes.size(), ISP_REPORT_SIZE);
        EXPECT_EQ(bytes[1], ISP_CMD_WRITE_BLOCK);
        EXPECT_EQ(bytes[2], static_cast<std::uint8_t>((32 * k) >> 8));
        EXPECT_EQ(bytes[3], static_cast<std::uint8_t>((32 * k) & 0xFF));
        EXPECT_EQ(bytes[4], 0x20);
        EXPECT_TRUE(std::equal(bytes.begin() + 9, bytes.end(), image.begin() + 32 * k)) << "block " << k;
    }
    EXPECT_EQ(sets.back().bytes[2], 0x4F);
    EXPECT_EQ(sets.back().bytes[3], 0xE0);
    EXPECT_EQ(harness.Loader().Flash(), image);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(SingleOperations, WriteWithAnUnopenablePathTouchesNothingElse)
{
    OpsHarness harness;
    harness.fields.m_strFile = "";
    const OperationResult empty = harness.ops.OnWrite();
    EXPECT_EQ(harness.log, (Log{"message:error:Open file error !!"}));
    EXPECT_EQ(empty.outcome, OperationOutcome::ImageOpenFailed);
    EXPECT_EQ(harness.machine->HidInterfaces().Searches(), 0u);

    harness.log.clear();
    harness.fields.m_strFile = scratch.Path("missing.bin");
    EXPECT_EQ(harness.ops.OnVerify().outcome, OperationOutcome::ImageOpenFailed);
    EXPECT_EQ(harness.log, (Log{"message:error:Open file error !!"}));
    EXPECT_TRUE(harness.Loader().Transfers().empty());
}

TEST_F(SingleOperations, AnImageReadBeforehandIsProgrammedWithoutReadingTheFileAgain)
{
    OpsHarness harness;
    auto loaded = std::make_shared<LoadedImageFile>();
    harness.fields.m_strFile = scratch.Write("fw.bin", ImageBytes(image));
    loaded->load = LoadImageFile(harness.fields.m_strFile, loaded->image);
    ASSERT_TRUE(loaded->load);
    std::filesystem::remove(harness.fields.m_strFile);
    harness.ops.SetLoadedImage(loaded);

    EXPECT_EQ(harness.ops.OnWrite().outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(harness.ops.OnVerify().outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(harness.Loader().Flash(), image);
}

TEST_F(SingleOperations, WriteWithoutDeviceFailsAsAWriteNotAsDeviceNotFound)
{
    OpsHarness harness(EmptyMachine());
    UseImageFile(harness);
    const OperationResult result = harness.ops.OnWrite();
    EXPECT_EQ(harness.log, (Log{"show", "disable", "find:none", "message:error:Write Function Fail !!!", "close",
                                "collect", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::NoDevice);
    EXPECT_EQ(result.failingBlock, 0u);
}

TEST_F(SingleOperations, WriteStopsAtTheFirstFailedBlock)
{
    OpsHarness harness;
    UseImageFile(harness);
    harness.Loader().FailSetAt(101);

    const OperationResult result = harness.ops.OnWrite();

    EXPECT_EQ(result.outcome, OperationOutcome::TransferFailed);
    EXPECT_EQ(result.failingBlock, 100u);
    EXPECT_EQ(result.blocksDone, 100u);
    EXPECT_EQ(harness.Loader().Transfers().size(), 101u);
    EXPECT_EQ(result.LastMessage(), "Write Function Fail !!!");
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(SingleOperations, WriteLeavesItsLengthByteAndLastBlockForTheNextRequests)
{
    OpsHarness harness;
    UseImageFile(harness);
    ASSERT_TRUE(harness.ops.OnWrite().Succeeded());
    harness.Loader().ClearTransfers();

    ASSERT_TRUE(harness.ops.OnMassErase().Succeeded());
    const auto erase = harness.Sets().at(0).bytes;
    EXPECT_EQ(erase[1], ISP_CMD_MASS_ERASE);
    EXPECT_EQ(erase[4], 0x20);
    EXPECT_TRUE(std::equal(erase.begin() + 9, erase.end(), image.end() - 32));
}

TEST_F(SingleOperations, VerifyPassesOnTheWrittenImage)
{
    OpsHarness harness;
    UseImageFile(harness);
    harness.Loader().Flash() = image;

    const OperationResult result = harness.ops.OnVerify();

    EXPECT_EQ(harness.log,
              (Log{"show", "disable", "find:found", "message:info:Verify Succeeded !", "close", "collect", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(harness.Loader().Transfers().size(), 2 * ISP_BLOCK_COUNT);
}

TEST_F(SingleOperations, VerifyStopsAtTheFirstDifferingByteAndNamesIt)
{
    OpsHarness harness;
    UseImageFile(harness);
    harness.Loader().Flash() = image;
    harness.Loader().Flash()[0x1234] = static_cast<std::uint8_t>(image[0x1234] ^ 0x5A);
    harness.Loader().Flash()[0x2000] ^= 0xFF;  // a later difference is never reached

    const OperationResult result = harness.ops.OnVerify();

    EXPECT_EQ(result.outcome, OperationOutcome::VerifyMismatch);
    EXPECT_EQ(result.LastMessage(), "Verify Fail !!!");
    EXPECT_EQ(result.messages.back().icon, MessageIcon::Error);
    ASSERT_TRUE(result.difference.has_value());
    EXPECT_EQ(result.difference->address, 0x1234u);
    EXPECT_EQ(result.difference->chipByte, image[0x1234] ^ 0x5A);
    EXPECT_EQ(result.difference->fileByte, image[0x1234]);
    EXPECT_EQ(result.failingBlock, 0x1234u / 32);
    // Block 0x91 was the last one asked for: one set and one get per block.
    const auto& transfers = harness.Loader().Transfers();
    ASSERT_EQ(transfers.size(), 2 * (0x1234u / 32 + 1));
    EXPECT_EQ(transfers.back().kind, test::SimTransfer::Kind::Get);
    EXPECT_EQ(transfers.back().bytes[2], 0x12);
    EXPECT_EQ(transfers.back().bytes[3], 0x20);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(SingleOperations, VerifyReportsAFailedReadAsATransferFailure)
{
    OpsHarness harness;
    UseImageFile(harness);
    harness.Loader().Flash() = image;
    harness.Loader().FailGetAt(3);

    const OperationResult result = harness.ops.OnVerify();

    EXPECT_EQ(result.outcome, OperationOutcome::TransferFailed);
    EXPECT_EQ(result.LastMessage(), "Verify Fail !!!");
    EXPECT_EQ(result.failingBlock, 2u);
    EXPECT_FALSE(result.difference.has_value());
}

TEST_F(SingleOperations, ReadStoresTheWholeFlash)
{
    OpsHarness harness;
    harness.Loader().Flash() = image;
    harness.window.saveAnswer = scratch.Path("flash.dmp");

    const OperationResult result = harness.ops.OnRead();

    EXPECT_EQ(harness.log, (Log{"disable", "collect", "save-dialog", "find:found", "message:info:Read Succeeded !",
                                "close", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(ScratchDir::Read(scratch.Path("flash.dmp")), ImageBytes(image));
    ASSERT_TRUE(harness.window.saveOptions.has_value());
    const FileDialogOptions& options = *harness.window.saveOptions;
    EXPECT_EQ(options.defaultExtension, "*.dmp");
    EXPECT_EQ(options.filter, "Dump Files (*.dmp)|*.dmp|All Files (*.*)|*.*||");
    EXPECT_TRUE(options.overwritePrompt);
    EXPECT_TRUE(options.ownedByWindow);
    EXPECT_EQ(options.maxPathLength, 2561u);
    EXPECT_TRUE(harness.DeviceClosed());
}

// A failed Read replaces nothing: the chosen file keeps what it held, and no
// partial dump or temporary file is left beside it.
TEST_F(SingleOperations, ReadStoppedAfterTenBlocksLeavesTheFileAsItWas)
{
    OpsHarness harness;
    harness.Loader().Flash() = image;
    harness.Loader().FailSetAt(11);
    harness.window.saveAnswer = scratch.Write("keep.dmp", "earlier dump");

    const OperationResult result = harness.ops.OnRead();

    EXPECT_EQ(result.outcome, OperationOutcome::TransferFailed);
    EXPECT_EQ(result.LastMessage(), "Read Fail !!!");
    EXPECT_EQ(result.failingBlock, 10u);
    EXPECT_EQ(ScratchDir::Read(scratch.Path("keep.dmp")), "earlier dump");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path("")), {}), 1);
}

TEST_F(SingleOperations, ReadIntoAFullDiskFailsInsteadOfClaimingSuccess)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    OpsHarness harness;
    harness.window.saveAnswer = "/dev/full";

    const OperationResult result = harness.ops.OnRead();

    EXPECT_EQ(result.outcome, OperationOutcome::DumpWriteFailed);
    EXPECT_EQ(result.messages, (std::vector<ShownMessage>{{"Read Fail !!!", MessageIcon::Error}}));
    EXPECT_EQ(result.failingBlock, 0u);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(SingleOperations, ReadCancelledShowsNothing)
{
    OpsHarness harness;
    const OperationResult result = harness.ops.OnRead();
    EXPECT_EQ(harness.log, (Log{"disable", "collect", "save-dialog", "close", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Cancelled);
    EXPECT_TRUE(result.messages.empty());
}

TEST_F(SingleOperations, ReadWithoutDeviceLeavesTheDumpFileAsItWas)
{
    OpsHarness harness(EmptyMachine());
    harness.window.saveAnswer = scratch.Write("old.dmp", "earlier content");

    const OperationResult result = harness.ops.OnRead();

    EXPECT_EQ(harness.log, (Log{"disable", "collect", "save-dialog", "find:none", "message:error:Read Fail !!!",
                                "close", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::NoDevice);
    EXPECT_EQ(ScratchDir::Read(scratch.Path("old.dmp")), "earlier content");
}

TEST_F(SingleOperations, ReadIntoAnUncreatableFileSaysOpenFileError)
{
    OpsHarness harness;
    harness.window.saveAnswer = scratch.Path("no-such-dir/flash.dmp");
    const OperationResult result = harness.ops.OnRead();
    EXPECT_EQ(harness.log,
              (Log{"disable", "collect", "save-dialog", "message:error:Open file error !!", "close", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::DumpOpenFailed);
}

TEST_F(SingleOperations, ExitIspSendsTheRequestBetweenDisableAndEnable)
{
    OpsHarness harness;
    const OperationResult result = harness.ops.OnExitIsp();
    EXPECT_EQ(harness.log,
              (Log{"find:found", "disable", "message:info:Exit USB ISP Function OK !!!", "close", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_FALSE(harness.Loader().InIsp());
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(SingleOperations, ExitIspWithoutDeviceFailsBeforeDisablingAnything)
{
    OpsHarness harness(EmptyMachine());
    const OperationResult result = harness.ops.OnExitIsp();
    EXPECT_EQ(harness.log, (Log{"find:none", "message:error:Exit USB ISP Function Fail !!!", "close", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::NoDevice);
}

TEST_F(SingleOperations, NoDeviceCarriesThePathsRefusedForPermission)
{
    auto machine = std::make_unique<test::TestMachine>();
    SimHidInterface isp = SimHidInterface::IspLoader("sim:locked", machine->LoaderPtr());
    machine->HidInterfaces().Faults(isp.path).openFailure = test::OpenFailure::PermissionDenied;
    machine->HidInterfaces().Add(isp);
    OpsHarness harness(std::move(machine));

    const OperationResult result = harness.ops.OnExitIsp();

    EXPECT_EQ(result.outcome, OperationOutcome::NoDevice);
    EXPECT_EQ(result.deniedPaths, (std::vector<std::string>{"sim:locked"}));
}

TEST_F(SingleOperations, OpenFileShowsTheChecksumOfTheChosenFile)
{
    OpsHarness harness;
    FirmwareImage small{};
    small[0] = 0x0A;
    small[1] = 0xB2;  // sums to 0x00BC
    harness.window.openAnswer = scratch.Write("small.bin", std::string("\x0A\xB2", 2));

    const OperationResult result = harness.ops.OnOpenFile();

    EXPECT_EQ(harness.log, (Log{"open-dialog", "collect", "show", "show"}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(harness.fields.m_strFile, scratch.Path("small.bin"));
    EXPECT_EQ(harness.fields.m_strChecksum, "  BCh");
    ASSERT_TRUE(harness.window.openOptions.has_value());
    EXPECT_EQ(harness.window.openOptions->filter,
              "Hex Files (*.hex)|*.hex|Binary Files (*.bin)|*.bin|All Files (*.*)|*.*");
    EXPECT_EQ(harness.window.openOptions->defaultExtension, "");
    EXPECT_TRUE(harness.window.openOptions->overwritePrompt);
    EXPECT_FALSE(harness.window.openOptions->ownedByWindow);
    EXPECT_EQ(harness.machine->HidInterfaces().Searches(), 0u);
}

TEST_F(SingleOperations, OpenFileCancelledEmptiesThePathAndBlanksTheChecksum)
{
    OpsHarness harness;
    harness.fields.m_strFile = "earlier.hex";
    harness.fields.m_strChecksum = "1A2Bh";

    const OperationResult result = harness.ops.OnOpenFile();

    EXPECT_EQ(harness.log, (Log{"open-dialog", "collect", "show", "message:error:Open file error !!"}));
    EXPECT_EQ(result.outcome, OperationOutcome::ImageOpenFailed);
    EXPECT_EQ(harness.fields.m_strFile, "");
    EXPECT_EQ(harness.fields.m_strChecksum, "");
    // A following Write finds the emptied path.
    EXPECT_EQ(harness.ops.OnWrite().LastMessage(), "Open file error !!");
}

TEST_F(SingleOperations, ReadProtectDoesNothing)
{
    OpsHarness harness;
    const OperationResult result = harness.ops.OnReadProtect();
    EXPECT_TRUE(harness.log.empty());
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(harness.machine->HidInterfaces().Searches(), 0u);
}

}  // namespace
}  // namespace zelv4::test
