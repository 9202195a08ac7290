#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ParamNames.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

// Ctrl-C while commands work on chips, counted as the signal owner counts it: as
// soon as the first chip has had `first` requests, one Ctrl-C; at `second`, two.
struct Interrupted {
    const char* label;
    unsigned chips;
    std::size_t first;
    std::size_t second;
    std::vector<std::string> args;  // IMAGE, OUT and LOG stand for the test's files
    std::vector<std::string> said;  // on stdout or stderr
    int exitCode;
};

void PrintTo(const Interrupted& scenario, std::ostream* out)
{
    *out << scenario.label;
}

const Interrupted INTERRUPTED[] = {
    {"write",
     1,
     100,
     SIZE_MAX,
     {"write", "IMAGE"},
     {"Write Function Fail !!!", "interrupted before block 100 of 640"},
     EXIT_INTERRUPTED},
    {"read", 1, 100, SIZE_MAX, {"read", "OUT"}, {"Read Fail !!!", "interrupted before block"}, EXIT_INTERRUPTED},
    {"auto on all devices",
     3,
     100,
     SIZE_MAX,
     {"auto", "--all", "IMAGE"},
     {"1-1  sim:hid0  interrupted  ", "1-3.2  sim:hid3  interrupted  ",
      "3 devices: 0 succeeded, 0 failed, 3 interrupted"},
     EXIT_INTERRUPTED},
    // The first Ctrl-C lets both chips finish; the second abandons them.
    {"watch, twice",
     2,
     100,
     1000,
     {"watch", "--log", "LOG", "IMAGE"},
     {"stopping: 2 chips in progress will finish\n", "  FAILED interrupted  ",
      "Tally: 2 chips, 0 passed, 0 failed, 2 interrupted\n"},
     EXIT_INTERRUPTED},
    {"watch, once",
     2,
     100,
     SIZE_MAX,
     {"watch", "--log", "LOG", "IMAGE"},
     {"stopping: 2 chips in progress will finish\n", "Tally: 2 chips, 2 passed, 0 failed\n"},
     EXIT_OK},
};

class Interruption : public ::testing::TestWithParam<Interrupted> {};

// Every interrupted device is still reported (and logged), with the exit code of
// the signal; a dump cut short is never left behind.
TEST_P(Interruption, ReportsEveryChipAndExitsWithTheSignal)
{
    const Interrupted& scenario = GetParam();
    test::ScratchDir dir;
    test::CliRunner cli;
    cli.machine = test::TestMachine::CreateDefault();
    for (unsigned chip = 1; chip < scenario.chips; ++chip)
        cli.machine->AddChip();
    // Slow enough that the station sees the first Ctrl-C while the chips are at work.
    cli.machine->SetTransferDelay(std::chrono::microseconds(scenario.chips > 1 ? 300 : 0));
    const test::TestIspLoader& watched = *cli.machine->Chips()[0];
    cli.stopSignals = [&] {
        const std::size_t requests = watched.SetCount() + watched.GetCount();
        return requests >= scenario.second ? 2u : requests >= scenario.first ? 1u : 0u;
    };
    std::vector<std::string> args{"--json"};
    for (const std::string& word : scenario.args)
        args.push_back(word == "IMAGE" ? dir.Write("fw.bin", test::ImageBytes(test::PatternImage()))
                       : word == "OUT" ? dir.Path("flash.dmp")
                       : word == "LOG" ? dir.Path("chips.jsonl")
                                       : word);

    const test::CliOutput run = cli.Run(args);
    EXPECT_EQ(run.code, scenario.exitCode);
    const nlohmann::json report = run.Json();
    EXPECT_EQ(report["exit_code"], scenario.exitCode);
    std::string text;
    for (const auto& line : report["messages"])
        text += line.get<std::string>() + "\n";
    for (const std::string& part : scenario.said)
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    if (scenario.exitCode == EXIT_INTERRUPTED && scenario.chips == 1) {
        EXPECT_EQ(report["outcome"], "interrupted");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("flash.dmp")));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path("")))
        ++entries;
    const auto files = std::count_if(scenario.args.begin(), scenario.args.end(),
                                     [](const std::string& word) { return word == "IMAGE" || word == "LOG"; });
    EXPECT_EQ(entries, static_cast<std::size_t>(files)) << "a temporary file was left";
    if (std::filesystem::exists(dir.Path("chips.jsonl"))) {
        const std::string log = test::ScratchDir::Read(dir.Path("chips.jsonl"));
        EXPECT_EQ(log.find("\"outcome\":\"interrupted\"") != std::string::npos, scenario.exitCode != EXIT_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, Interruption, ::testing::ValuesIn(INTERRUPTED), test::LabelName());

}  // namespace
}  // namespace zelv4
