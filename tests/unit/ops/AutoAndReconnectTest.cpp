#include <gtest/gtest.h>

#include <algorithm>

#include "core/IspConstants.h"
#include "support/OpsHarness.h"

namespace zelv4::test {
namespace {

using Log = std::vector<std::string>;

// Transfers of an Auto run: erase, 640 writes, 640 read pairs, leave ISP.
constexpr std::size_t AUTO_TRANSFERS = 1 + ISP_BLOCK_COUNT + 2 * ISP_BLOCK_COUNT + 1;

class Auto : public ::testing::Test {
protected:
    ScratchDir scratch;
    FirmwareImage image = PatternImage();

    std::string ImagePath() { return scratch.Write("fw.bin", ImageBytes(image)); }
    static long Count(const Log& log, const std::string& entry) { return std::count(log.begin(), log.end(), entry); }
};

TEST_F(Auto, EmptyPathTouchesNothing)
{
    OpsHarness harness;
    const OperationResult result = harness.ops.OnAuto();
    EXPECT_EQ(harness.log, (Log{"collect", "message:error:Open file error !!"}));
    EXPECT_EQ(result.outcome, OperationOutcome::ImageOpenFailed);
    EXPECT_EQ(harness.machine->HidInterfaces().Searches(), 0u);
}

TEST_F(Auto, ProgramsAnAttachedChipWithoutScanningTheBus)
{
    OpsHarness harness;
    harness.fields.m_strFile = ImagePath();

    const OperationResult result = harness.ops.OnAuto();

    EXPECT_EQ(harness.log, (Log{"collect", "show", "disable", "find:found", "message:info:ButtonAuto Function OK !!!",
                                "close", "collect", "enable"}));
    EXPECT_EQ(result.messages, (std::vector<ShownMessage>{{"ButtonAuto Function OK !!!", MessageIcon::Information}}));
    EXPECT_TRUE(result.Succeeded());
    EXPECT_TRUE(harness.machine->UsbTree().Requests().empty());
    EXPECT_EQ(harness.Loader().Flash(), image);
    EXPECT_FALSE(harness.Loader().InIsp());

    const auto& transfers = harness.Loader().Transfers();
    ASSERT_EQ(transfers.size(), AUTO_TRANSFERS);
    EXPECT_EQ(transfers.front().bytes[1], ISP_CMD_MASS_ERASE);
    EXPECT_EQ(transfers[1].bytes[1], ISP_CMD_WRITE_BLOCK);
    EXPECT_EQ(transfers[1 + ISP_BLOCK_COUNT].bytes[1], ISP_CMD_READ_BLOCK);
    EXPECT_EQ(transfers.back().bytes[1], ISP_CMD_EXIT_ISP);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(Auto, WritesCarryTheLengthByteOnlyAfterAWriteOperation)
{
    OpsHarness harness;
    harness.fields.m_strFile = ImagePath();
    ASSERT_TRUE(harness.ops.OnAuto().Succeeded());
    for (const test::SimTransfer& set : harness.Sets()) {
        if (set.bytes[1] == ISP_CMD_WRITE_BLOCK) {
            ASSERT_EQ(set.bytes[4], 0x00) << "the buffers start zeroed and Auto never writes byte 4";
        }
    }

    harness.Loader().Reenter();  // Auto sent the chip out of ISP mode
    ASSERT_TRUE(harness.ops.OnWrite().Succeeded());
    harness.Loader().ClearTransfers();
    ASSERT_TRUE(harness.ops.OnAuto().Succeeded());
    std::size_t writes = 0;
    for (const test::SimTransfer& set : harness.Sets()) {
        if (set.bytes[1] == ISP_CMD_WRITE_BLOCK) {
            ++writes;
            ASSERT_EQ(set.bytes[4], 0x20);
        }
    }
    EXPECT_EQ(writes, ISP_BLOCK_COUNT);
}

TEST_F(Auto, NoIspDeviceAndNoSignatureScansOnceWithoutWaiting)
{
    OpsHarness harness(EmptyMachine());
    harness.fields.m_strFile = ImagePath();

    const OperationResult result = harness.ops.OnAuto();

    EXPECT_EQ(harness.log, (Log{"collect", "show", "disable", "find:none", "scan:0",
                                "message:error:Device not found !!", "close", "collect", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::NoDevice);
    EXPECT_TRUE(harness.device.waits.empty());
}

TEST_F(Auto, WaitsForAnIspDeviceThatAppearsInTheFifthWait)
{
    OpsHarness harness(LateIspMachine(5));
    harness.fields.m_strFile = ImagePath();

    const OperationResult result = harness.ops.OnAuto();

    // Each wait sleeps first and searches after; the run goes on at the first find.
    Log expected{"collect", "show", "disable", "find:none", "scan:1"};
    for (int wait = 1; wait <= 4; ++wait) {
        expected.push_back("sleep:1000");
        expected.push_back("find:none");
    }
    expected.insert(expected.end(), {"sleep:1000", "find:found", "message:info:ButtonAuto Function OK !!!", "close",
                                     "collect", "enable"});
    EXPECT_EQ(harness.log, expected);
    EXPECT_EQ(result.waitAttempts, 5u);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(harness.Loader().Flash(), image);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(Auto, TimesOutAfterThirtyOneWaitsInTheWindowsOwnBox)
{
    OpsHarness harness(LateIspMachine(1000));
    harness.fields.m_strFile = ImagePath();

    const OperationResult result = harness.ops.OnAuto();

    EXPECT_EQ(harness.device.waits, std::vector<unsigned>(31, 1000));
    EXPECT_EQ(Count(harness.log, "find:none"), 32);
    ASSERT_GE(harness.log.size(), 6u);
    // The 31st wait's search is the last thing before the box: no 32nd sleep.
    EXPECT_EQ(
        (Log{harness.log.end() - 6, harness.log.end() - 3}),
        (Log{"sleep:1000", "find:none", "window-message:error:[]:Time Out !! Please check device and try again."}));
    EXPECT_EQ(result.outcome, OperationOutcome::TimedOut);
    EXPECT_EQ(result.messages.back().caption, MessageCaption::WindowEmpty);
    EXPECT_EQ((Log{harness.log.end() - 3, harness.log.end()}), (Log{"close", "collect", "enable"}));
}

TEST_F(Auto, UnopenableImageAfterTheDeviceWasFoundSendsNoRequest)
{
    OpsHarness harness;
    harness.fields.m_strFile = scratch.Path("missing.hex");

    const OperationResult result = harness.ops.OnAuto();

    EXPECT_EQ(harness.log, (Log{"collect", "show", "disable", "find:found", "message:error:Open file error !!", "close",
                                "collect", "enable"}));
    EXPECT_EQ(result.outcome, OperationOutcome::ImageOpenFailed);
    EXPECT_TRUE(result.deviceFound);
    EXPECT_TRUE(harness.Loader().Transfers().empty());
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST_F(Auto, EachFailingStepShowsItsOwnMessage)
{
    struct Case {
        std::size_t failSet;
        std::size_t failGet;
        const char* message;
    };
    for (const Case& c : {Case{1, 0, "MassErase Function Fail !!!"}, Case{2 + 300, 0, "Write Function Fail !!!"},
                          Case{0, 7, "Verify Fail !!!"}}) {
        OpsHarness harness;
        harness.fields.m_strFile = ImagePath();
        harness.Loader().FailSetAt(c.failSet);
        harness.Loader().FailGetAt(c.failGet);
        const OperationResult result = harness.ops.OnAuto();
        EXPECT_EQ(result.messages, (std::vector<ShownMessage>{{c.message, MessageIcon::Error}})) << c.message;
        EXPECT_EQ(result.outcome, OperationOutcome::TransferFailed) << c.message;
        EXPECT_TRUE(harness.DeviceClosed());
    }
}

TEST_F(Auto, LeaveIspFailureFollowsTheSuccessMessage)
{
    OpsHarness harness;
    harness.fields.m_strFile = ImagePath();
    harness.Loader().FailSetAt(AUTO_TRANSFERS - ISP_BLOCK_COUNT);  // the leave-ISP request: sets only

    const OperationResult result = harness.ops.OnAuto();

    EXPECT_EQ(result.messages, (std::vector<ShownMessage>{{"ButtonAuto Function OK !!!", MessageIcon::Information},
                                                          {"Reset Fail !!!", MessageIcon::Error}}));
    EXPECT_EQ(result.outcome, OperationOutcome::Succeeded);
    EXPECT_TRUE(result.resetFailed);
    EXPECT_FALSE(result.Succeeded());
}

class CollectingSink : public ProgressSink {
public:
    void OnProgress(const ProgressEvent& event) override { events.push_back(event); }
    void OnPhaseEnd(OperationPhase phase, bool succeeded) override { ends.emplace_back(phase, succeeded); }
    std::vector<ProgressEvent> events;
    std::vector<std::pair<OperationPhase, bool>> ends;

    std::vector<std::size_t> Done(OperationPhase phase) const
    {
        std::vector<std::size_t> done;
        for (const ProgressEvent& event : events)
            if (event.phase == phase)
                done.push_back(event.done);
        return done;
    }
};

TEST_F(Auto, ReportsWaitAttemptsAndBlocksToTheProgressSink)
{
    OpsHarness harness(LateIspMachine(3));
    harness.fields.m_strFile = ImagePath();
    CollectingSink sink;
    harness.ops.SetProgressSink(&sink);

    ASSERT_TRUE(harness.ops.OnAuto().Succeeded());

    EXPECT_EQ(sink.Done(OperationPhase::WaitForDevice), (std::vector<std::size_t>{0, 1, 2, 3}));
    const auto writes = sink.Done(OperationPhase::Write);
    ASSERT_EQ(writes.size(), ISP_BLOCK_COUNT + 1);
    EXPECT_EQ(writes.front(), 0u);
    EXPECT_EQ(writes.back(), ISP_BLOCK_COUNT);
    EXPECT_EQ(sink.Done(OperationPhase::Verify).back(), ISP_BLOCK_COUNT);
    for (const ProgressEvent& event : sink.events) {
        if (event.phase == OperationPhase::WaitForDevice) {
            EXPECT_EQ(event.total, 31u);
        }
    }
    EXPECT_NE(std::find(sink.ends.begin(), sink.ends.end(), std::make_pair(OperationPhase::ExitIsp, true)),
              sink.ends.end());
}

TEST(Reconnect, ReportsTheBusCountAndLeavesTheButtonsAlone)
{
    OpsHarness harness;
    const OperationResult found = harness.ops.OnReconnect();
    EXPECT_EQ(harness.log, (Log{"find:found", "scan:1", "message:info:ZEL-V4 Found !", "close"}));
    EXPECT_EQ(found.outcome, OperationOutcome::Succeeded);
    EXPECT_EQ(found.busDeviceCount, 1);
    EXPECT_TRUE(harness.DeviceClosed());
}

TEST(Reconnect, IspDeviceWithoutSignatureDeviceIsNotFound)
{
    auto machine = std::make_unique<test::TestMachine>();
    machine->HidInterfaces().Add(SimHidInterface::IspLoader(SimMachine::DEFAULT_ISP_PATH, machine->LoaderPtr()));
    OpsHarness harness(std::move(machine));

    const OperationResult result = harness.ops.OnReconnect();

    EXPECT_EQ(harness.log, (Log{"find:found", "scan:0", "message:error:Device not found !!", "close"}));
    EXPECT_EQ(result.outcome, OperationOutcome::NoDevice);
    EXPECT_TRUE(harness.DeviceClosed());
}

}  // namespace
}  // namespace zelv4::test
