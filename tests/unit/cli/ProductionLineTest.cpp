#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/ExitCodes.h"
#include "device/IspDeviceConnection.h"
#include "device/IspDeviceInventory.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ParamNames.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using Args = std::vector<std::string>;

// The default machine and chips on 1-3.1, 1-3.2, ...: sim:hid0 on 1-1, sim:hid2 on
// 1-3.1, sim:hid3 on 1-3.2.
std::shared_ptr<test::TestMachine> Line(unsigned chips)
{
    std::shared_ptr<test::TestMachine> machine = test::TestMachine::CreateDefault();
    for (unsigned chip = 1; chip < chips; ++chip)
        machine->AddChip();
    return machine;
}

std::size_t Transfers(const test::TestIspLoader& loader)
{
    return loader.SetCount() + loader.GetCount();
}

class ProductionLine : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string image = dir.Write("fw.bin", test::ImageBytes(test::PatternImage()));
};

TEST_F(ProductionLine, ListNamesEveryIspDeviceByNodeAndPort)
{
    cli.machine = Line(3);
    const test::CliOutput run = cli.Run({"--json", "list"});
    EXPECT_EQ(run.code, EXIT_OK);
    const nlohmann::json devices = run.Json()["details"]["isp_devices"];
    ASSERT_EQ(devices.size(), 3u) << run.out;
    EXPECT_EQ(devices[1]["device_path"], "sim:hid2");
    EXPECT_EQ(devices[1]["port"], "1-3.1");
    EXPECT_EQ(devices[2]["port"], "1-3.2");
    EXPECT_NE(cli.Run({"list"}).out.find("ISP devices attached: 3\n  sim:hid0  port 1-1\n"), std::string::npos);
}

// Each single-device command, with what follows its name.
struct DeviceCommand {
    std::string label;  // the command's name
    Args rest;          // "IMAGE" and "OUT" stand for the test's files
};

class EachDeviceCommand : public ProductionLine, public ::testing::WithParamInterface<DeviceCommand> {
protected:
    // Chips that already hold the image, so that verify passes on them.
    static std::shared_ptr<test::TestMachine> Programmed(unsigned chips)
    {
        std::shared_ptr<test::TestMachine> machine = Line(chips);
        for (const auto& chip : machine->Chips())
            chip->Flash() = test::PatternImage();
        return machine;
    }

    Args Command(Args options = {})
    {
        Args args{GetParam().label};
        args.insert(args.end(), options.begin(), options.end());
        for (const std::string& word : GetParam().rest)
            args.push_back(word == "IMAGE" ? image : word == "OUT" ? dir.Path("out-{port}.dmp") : word);
        return args;
    }
};

// Guessing among several chips would program the wrong one: refused, nothing sent.
TEST_P(EachDeviceCommand, SeveralDevicesAndNoChoiceIsAUsageError)
{
    cli.machine = Line(3);
    Args args = Command();
    args.insert(args.begin(), "--json");
    const test::CliOutput run = cli.Run(args);
    EXPECT_EQ(run.code, EXIT_USAGE);
    const nlohmann::json report = run.Json();
    EXPECT_EQ(report["outcome"], "several-devices");
    EXPECT_EQ(report["details"]["isp_devices"].size(), 3u);
    for (const auto& chip : cli.machine->Chips())
        EXPECT_EQ(Transfers(*chip), 0u);
}

// --port and --device reach the chip they name and no other.
TEST_P(EachDeviceCommand, PortAndDeviceChooseOneChip)
{
    for (const Args& choice : {Args{"--port", "1-3.1"}, Args{"--device", "sim:hid2"}}) {
        SCOPED_TRACE(choice[0]);
        cli.machine = Programmed(3);
        const test::CliOutput run = cli.Run(Command(choice));
        EXPECT_EQ(run.code, EXIT_OK) << run.err;
        const auto& chips = cli.machine->Chips();
        EXPECT_EQ(Transfers(*chips[0]), 0u);
        EXPECT_GT(Transfers(*chips[1]), 0u);
        EXPECT_EQ(Transfers(*chips[2]), 0u);
    }
}

// Every chip at once; one failing a transfer fails alone, and the run exits with its
// code. The interfaces are listed once: each worker takes its chip from the listing.
TEST_P(EachDeviceCommand, AllRunsEveryChipAndOneFailureFailsAlone)
{
    cli.machine = Programmed(3);
    cli.machine->Chips()[1]->FailSetAt(1);
    cli.machine->Chips()[1]->FailGetAt(1);
    const test::CliOutput run = cli.Run(Command({"--all", "--json"}));
    const nlohmann::json report = run.Json();
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED) << run.out;
    const nlohmann::json devices = report["details"]["devices"];
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0]["port"], "1-1");
    EXPECT_EQ(devices[0]["outcome"], "succeeded");
    EXPECT_EQ(devices[1]["port"], "1-3.1");
    EXPECT_EQ(devices[1]["outcome"], "transfer-failed");
    EXPECT_EQ(devices[2]["outcome"], "succeeded");
    EXPECT_EQ(report["message"], "3 devices: 2 succeeded, 1 failed");
    EXPECT_EQ(cli.machine->HidInterfaces().Searches(), 1u);
    if (GetParam().label == "write" || GetParam().label == "auto") {
        EXPECT_EQ(cli.machine->Chips()[0]->Flash(), test::PatternImage());
        EXPECT_EQ(cli.machine->Chips()[2]->Flash(), test::PatternImage());
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, EachDeviceCommand,
                         ::testing::Values(DeviceCommand{"erase", {}}, DeviceCommand{"write", {"IMAGE"}},
                                           DeviceCommand{"verify", {"IMAGE"}}, DeviceCommand{"read", {"OUT"}},
                                           DeviceCommand{"exit-isp", {}}, DeviceCommand{"auto", {"IMAGE"}}),
                         test::LabelName());

TEST_F(ProductionLine, PortNamingNoDeviceListsTheAttachedOnes)
{
    cli.machine = Line(2);
    const test::CliOutput run = cli.Run({"write", "--port", "9-9", image});
    EXPECT_EQ(run.code, EXIT_NO_DEVICE);
    EXPECT_NE(
        run.err.find("no ZEL-V4 ISP device on port 9-9; attached:\n  sim:hid0  port 1-1\n  sim:hid2  port 1-3.1\n"),
        std::string::npos)
        << run.err;
}

TEST_F(ProductionLine, ReadAllWritesOneFilePerPortAndNeedsThePlaceholder)
{
    cli.machine = Line(2);
    EXPECT_EQ(cli.Run({"read", "--all", dir.Path("one.dmp")}).code, EXIT_USAGE);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("one.dmp")));
    cli.machine->Chips()[1]->Flash() = test::PatternImage();
    EXPECT_EQ(cli.Run({"read", "--all", dir.Path("{port}.dmp")}).code, EXIT_OK);
    EXPECT_EQ(test::ScratchDir::Read(dir.Path("1-3.1.dmp")), test::ImageBytes(test::PatternImage()));
    EXPECT_EQ(test::ScratchDir::Read(dir.Path("1-1.dmp")).size(), ISP_IMAGE_SIZE);
}

// A chip unplugged in the middle of --all fails alone, named by its port.
TEST_F(ProductionLine, AChipUnpluggedDuringAllFailsAlone)
{
    cli.machine = Line(3);
    cli.machine->SetTransferDelay(std::chrono::microseconds(200));
    cli.machine->HidInterfaces().Unplug(SimMachine::ChipPath(2), std::chrono::milliseconds(50));
    const test::CliOutput run = cli.Run({"auto", "--all", image});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED);
    EXPECT_NE(run.out.find("1-3.2  sim:hid3  transfer-failed"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1-1  sim:hid0  succeeded"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1-3.1  sim:hid2  succeeded"), std::string::npos) << run.out;
    // Its explanation, indented, says what the result line does not.
    EXPECT_NE(run.err.find("1-3.2: the device failed a transfer at block"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Write Function Fail"), std::string::npos) << run.err;
}

// The order scripts rely on: a chip known wrong, then one in an unknown state, then
// what left chips untouched.
TEST(MostSeriousExitCode, FollowsTheDocumentedOrder)
{
    EXPECT_EQ(MostSeriousExitCode({}), EXIT_OK);
    EXPECT_EQ(MostSeriousExitCode({EXIT_OK, EXIT_OK}), EXIT_OK);
    const std::vector<int> order{EXIT_VERIFY_DIFFERENCE, EXIT_TRANSFER_FAILED, EXIT_FILE,
                                 EXIT_PERMISSION_DENIED, EXIT_DEVICE_BUSY,     EXIT_NO_DEVICE};
    for (std::size_t i = 0; i < order.size(); ++i)
        for (std::size_t j = i; j < order.size(); ++j)
            EXPECT_EQ(MostSeriousExitCode({order[j], EXIT_OK, order[i]}), order[i]) << i << " " << j;
}

class Station : public ProductionLine {
protected:
    std::string log = dir.Path("chips.jsonl");

    // The whole line of `text` that holds `part`; empty when none does.
    static std::string LineWith(const std::string& text, const std::string& part)
    {
        const std::size_t at = text.find(part);
        if (at == std::string::npos)
            return std::string();
        const std::size_t start = text.rfind('\n', at);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        return text.substr(from, text.find('\n', at) - from);
    }

    static bool HeldLine(const std::string& line)
    {
        return line.find("  skipped  ") != std::string::npos &&
               line.find("  held by another program; left alone  [") != std::string::npos;
    }

    std::vector<nlohmann::json> LogLines()
    {
        std::vector<nlohmann::json> lines;
        std::istringstream text(test::ScratchDir::Read(log));
        for (std::string line; std::getline(text, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }
};

// Chips arriving one after another are each programmed once, one failing alone; the
// log gets a line per chip as it ends.
TEST_F(Station, ProgramsArrivalsUntilTheCountAndLogsEachChip)
{
    cli.machine = Line(1);
    cli.machine->AddChip(std::chrono::milliseconds(30))->FailSetAt(5);
    cli.machine->AddChip(std::chrono::milliseconds(60));
    const test::CliOutput run = cli.Run({"watch", "--count", "3", "--log", log, image});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED) << run.out << run.err;
    EXPECT_NE(run.out.find("Tally: 3 chips, 2 passed, 1 failed"), std::string::npos) << run.out;
    const std::vector<nlohmann::json> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    unsigned failed = 0;
    for (const nlohmann::json& line : lines) {
        EXPECT_EQ(line["operation"], "auto");
        EXPECT_EQ(line["checksum"], ImageChecksum(test::PatternImage()));
        if (!line["ok"].get<bool>()) {
            ++failed;
            EXPECT_EQ(line["port"], "1-3.1");
            EXPECT_EQ(line["outcome"], "transfer-failed");
        }
    }
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(cli.machine->Chips()[0]->Flash(), test::PatternImage());
    EXPECT_EQ(cli.machine->Chips()[2]->Flash(), test::PatternImage());
}

// A written chip stays attached (write leaves ISP mode on): it is not written again.
// A chip another program holds is never touched; one that cannot be opened fails.
TEST_F(Station, LeavesDoneAndHeldChipsAlone)
{
    cli.machine = Line(2);
    cli.machine->HidInterfaces().Faults("sim:hid2").heldElsewhere = true;
    auto unusable = SimHidInterface::IspLoader("sim:unusable", std::make_shared<SimIspLoader>());
    cli.machine->HidInterfaces().Faults(unusable.path).openFailure = test::OpenFailure::Failed;
    cli.machine->HidInterfaces().Plug(unusable);
    const auto stopAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    cli.stopRequested = [stopAt] { return std::chrono::steady_clock::now() >= stopAt; };
    const test::CliOutput run = cli.Run({"watch", "--op", "write", image});
    EXPECT_EQ(run.code, EXIT_DEVICE_BUSY) << run.err;
    EXPECT_EQ(cli.machine->Chips()[0]->SetCount(), ISP_BLOCK_COUNT) << "written once";
    EXPECT_EQ(Transfers(*cli.machine->Chips()[1]), 0u);
    EXPECT_TRUE(HeldLine(LineWith(run.out, "1-3.1  sim:hid2  "))) << run.out;
    // An ISP device that cannot be opened is a chip left unprogrammed: never silent.
    EXPECT_NE(LineWith(run.out, "sim:unusable  checksum ").find("FAILED no-device"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Tally: 2 chips, 1 passed, 1 failed, 1 skipped"), std::string::npos) << run.out;
}

// A chip another program holds as it arrives (its `write` runs) is left alone,
// logged and counted as skipped, also once that program lets go; replugged, it is
// programmed. Listings meanwhile (`list`, --all's inventory) take no lock, so they
// never make the station skip a chip.
TEST_F(Station, AChipHeldOnArrivalIsSkippedUntilReplugged)
{
    cli.machine = Line(2);
    SimHidPlatform& hid = cli.machine->HidInterfaces();
    const SimHidInterface held = hid.Interfaces()[0];  // sim:hid0 on 1-1
    // The same socket after the replug: the simulated chip there starts afresh.
    SimHidInterface again = held;
    again.loader = std::make_shared<SimIspLoader>();
    IspDeviceConnection other(cli.machine->Hid());
    other.SetSelection(SelectPath(held.path));
    other.FindIspDevice();
    ASSERT_TRUE(other.IsOpen());

    std::atomic<bool> listing{true};
    std::thread operatorListing([&] {
        while (listing)
            ListIspDevices(cli.machine->Hid());
    });
    // Once the station has said so, the other program lets go and the chip is replugged.
    std::thread replug([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (test::ScratchDir::Read(log).find("held by another program") == std::string::npos &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        other.CloseIspDevice();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        hid.Unplug(held.path);
        hid.Plug(again);
    });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    cli.stopRequested = [giveUp] { return std::chrono::steady_clock::now() >= giveUp; };
    const test::CliOutput run = cli.Run({"watch", "--count", "2", "--log", log, image});
    replug.join();
    listing = false;
    operatorListing.join();

    EXPECT_EQ(run.code, EXIT_DEVICE_BUSY) << run.out << run.err;
    EXPECT_TRUE(HeldLine(LineWith(run.out, "1-1  sim:hid0  "))) << run.out;
    EXPECT_NE(run.out.find("Tally: 2 chips, 2 passed, 0 failed, 1 skipped"), std::string::npos) << run.out;
    const std::vector<nlohmann::json> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    // The other chip's line may come first: the workers run at once.
    const auto heldLine = std::find_if(lines.begin(), lines.end(),
                                       [](const nlohmann::json& line) { return line["outcome"] == "device-busy"; });
    ASSERT_NE(heldLine, lines.end());
    EXPECT_EQ((*heldLine)["port"], "1-1");
    EXPECT_EQ((*heldLine)["message"], "held by another program; left alone");
    EXPECT_EQ((*heldLine)["skipped"], 1);
    EXPECT_EQ(Transfers(static_cast<const test::TestIspLoader&>(*held.loader)), 0u) << "a held chip was touched";
    EXPECT_EQ(again.loader->Flash(), test::PatternImage()) << "not programmed once replugged";
    EXPECT_EQ(cli.machine->Chips()[1]->Flash(), test::PatternImage()) << "a listing made the station skip it";
}

// A chip pulled in the middle fails alone; the chip plugged in next into that
// socket, which takes the same node while the first one's worker still ends, is
// programmed all the same, and taken for a retry of the failed chip: --count and
// the tally count chips, the log every attempt.
TEST_F(Station, AChipPulledMidRunFailsAndItsRetryOnTheNodeIsProgrammed)
{
    cli.machine = Line(1);
    cli.machine->SetTransferDelay(std::chrono::microseconds(500));
    SimHidPlatform& hid = cli.machine->HidInterfaces();
    hid.Unplug(SimMachine::DEFAULT_ISP_PATH, std::chrono::milliseconds(150));
    auto next = std::make_shared<SimIspLoader>();
    SimHidInterface successor = SimHidInterface::IspLoader(SimMachine::DEFAULT_ISP_PATH, next);
    successor.port = SimMachine::DEFAULT_ISP_PORT;
    hid.Plug(successor, std::chrono::milliseconds(150));
    // The second chip: the count ends the run once it is done, and the retry.
    const auto other = cli.machine->AddChip(std::chrono::milliseconds(300));
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    cli.stopRequested = [giveUp] { return std::chrono::steady_clock::now() >= giveUp; };

    const test::CliOutput run = cli.Run({"watch", "--count", "2", "--log", log, image});
    EXPECT_EQ(run.code, EXIT_OK) << run.out << run.err;
    EXPECT_NE(run.out.find("  FAILED transfer-failed  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  passed (retry)  "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Tally: 2 chips, 2 passed, 0 failed, 1 retried"), std::string::npos) << run.out;
    EXPECT_EQ(next->Flash(), test::PatternImage());
    EXPECT_EQ(other->Flash(), test::PatternImage());
    EXPECT_EQ(LogLines().size(), 3u);
}

// A line cut short in the log (a full disk, a crash) stays alone on its line: the
// next record starts a line of its own.
TEST_F(Station, ARecordAfterALineCutShortStartsItsOwnLine)
{
    cli.machine = Line(1);
    const std::string cut = "{\"time\":\"2026-01-01T00:00:00Z\",\"po";
    dir.Write("chips.jsonl", cut);
    ASSERT_EQ(cli.Run({"watch", "--count", "1", "--log", log, image}).code, EXIT_OK);
    const std::string text = test::ScratchDir::Read(log);
    ASSERT_EQ(text.rfind(cut + "\n{", 0), 0u) << text;
    EXPECT_EQ(nlohmann::json::parse(text.substr(cut.size() + 1))["outcome"], "succeeded");
}

TEST_F(Station, ALogThatCannotBeOpenedStopsItBeforeAnyChip)
{
    cli.machine = Line(1);
    const test::CliOutput run = cli.Run({"watch", "--log", dir.Path("no/such/dir/chips.jsonl"), image});
    EXPECT_EQ(run.code, EXIT_FILE);
    EXPECT_NE(run.err.find("cannot open the log "), std::string::npos) << run.err;
    EXPECT_EQ(Transfers(cli.machine->Loader()), 0u);
}

// A log that stops taking lines is said at once, and no further chip is started.
TEST_F(Station, ALogWriteFailureIsReportedAndStopsTheStation)
{
#ifdef _WIN32
    GTEST_SKIP() << "no /dev/full on Windows";
#endif
    cli.machine = Line(1);
    // Arrives long after the first chip's failed log line has stopped the station,
    // however slow the build.
    cli.machine->AddChip(std::chrono::seconds(30));
    const test::CliOutput run = cli.Run({"watch", "--count", "2", "--log", "/dev/full", image});
    EXPECT_EQ(run.code, EXIT_FILE);
    EXPECT_NE(run.err.find("cannot write the log /dev/full: "), std::string::npos) << run.err;
    EXPECT_EQ(Transfers(*cli.machine->Chips()[1]), 0u);
}

}  // namespace
}  // namespace zelv4
