#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "cli/output/TerminalProgress.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

std::size_t Count(const std::string& text, char c)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

TEST(TerminalProgress, RedrawsOneLinePerPhaseInPlace)
{
    std::ostringstream err;
    {
        TerminalProgress progress(err);
        progress.OnProgress({OperationPhase::FindDevice, 0, 1});  // not drawn
        progress.OnProgress({OperationPhase::Write, 0, 640});
        progress.OnProgress({OperationPhase::Write, 320, 640});
        progress.OnPhaseEnd(OperationPhase::Write, true);
        progress.OnProgress({OperationPhase::Verify, 16, 640});
        // Destroyed with a line open: the line is still ended.
    }
    const std::string bar40(40, ' ');
    EXPECT_EQ(err.str(), "\rwrite  [" + bar40 +
                             "]   0/640"
                             "\rwrite  [" +
                             std::string(20, '#') + std::string(20, ' ') +
                             "] 320/640\n"
                             "\rverify [#" +
                             std::string(39, ' ') + "]  16/640\n");
}

TEST(TerminalProgress, CountsDownTheWaitForTheIspDevice)
{
    std::ostringstream err;
    TerminalProgress progress(err);
    progress.OnProgress({OperationPhase::WaitForDevice, 0, 31});
    progress.OnProgress({OperationPhase::WaitForDevice, 5, 31});
    progress.OnPhaseEnd(OperationPhase::WaitForDevice, true);
    EXPECT_EQ(err.str(), "\rwaiting for the ISP device: 31 s left (attempt  0 of 31)"
                         "\rwaiting for the ISP device: 26 s left (attempt  5 of 31)\n");
}

// A line as wide as the terminal wraps, and every redraw then starts a new line:
// at 30 columns a phase printed 641 lines. Bars shrink, then only the count is
// left; every line ends before the last column.
TEST(TerminalProgress, StaysWithinTheTerminalsWidth)
{
    for (const auto& [columns, written] :
         {std::pair<unsigned, std::string>{30, "write  [######      ] 320/640"},
          {20, "write   320/640"},
          {8, "write  "},
          {0, "write  [" + std::string(20, '#') + std::string(20, ' ') + "] 320/640"}}) {
        SCOPED_TRACE(columns);
        std::ostringstream err;
        {
            TerminalProgress progress(err, [columns] { return columns; });
            for (std::size_t done = 0; done <= 640; done += 160)
                progress.OnProgress({OperationPhase::Write, done, 640});
            progress.OnPhaseEnd(OperationPhase::Write, true);
            progress.OnProgress({OperationPhase::WaitForDevice, 5, 31});
        }
        std::istringstream lines(err.str());
        for (std::string line; std::getline(lines, line, '\r');)
            EXPECT_LT(line.size() - Count(line, '\n'), columns == 0 ? 80u : columns) << line;
        EXPECT_NE(err.str().find("\r" + written + "\r"), std::string::npos) << err.str();
    }
}

class CliProgress : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }
};

TEST_F(CliProgress, AutoDrawsEveryPhaseOnATerminalOnly)
{
    cli.terminal = true;
    test::CliOutput run = cli.Run({"--sim", "auto", Image()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "ButtonAuto Function OK !!!\n");
    // Erase, write and verify: three lines, each ended, each full at its end.
    EXPECT_EQ(Count(run.err, '\n'), 3u) << run.err;
    EXPECT_EQ(run.err.rfind("\rerase  [", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("] 640/640\n\rverify [" + std::string(40, ' ') + "]   0/640"), std::string::npos);
    EXPECT_NE(run.err.find("\rverify [" + std::string(40, '#') + "] 640/640\n"), std::string::npos);
    EXPECT_EQ(Count(run.err, '\r'), 2u + 641u + 641u);

    run = cli.Run({"--sim", "read", dir.Path("f.dmp")});
    EXPECT_NE(run.err.find("\rread   [" + std::string(40, '#') + "] 640/640\n"), std::string::npos);

    EXPECT_EQ(cli.Run({"--sim", "--quiet", "auto", Image()}).err, "");
    EXPECT_EQ(cli.Run({"--sim", "auto", Image(), "-q"}).err, "");
    cli.terminal = false;
    EXPECT_EQ(cli.Run({"--sim", "auto", Image()}).err, "");
}

TEST_F(CliProgress, BarEndsBeforeTheFailureMessage)
{
    cli.terminal = true;
    cli.machine = test::TestMachine::CreateDefault();
    cli.machine->Loader().FailSetAt(5);
    const test::CliOutput run = cli.Run({"write", Image()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("]   4/640\nWrite Function Fail !!!\n"), std::string::npos) << run.err;
}

TEST_F(CliProgress, AutoCountsDownWhileTheChipEntersIsp)
{
    cli.terminal = true;
    // Found by the search after the fifth wait: one search counts the attached ISP
    // devices, then Auto makes its first and five more.
    cli.machine = test::LateIspMachine(6);
    const test::CliOutput run = cli.Run({"auto", Image()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(cli.sleeps, std::vector<unsigned>(5, 1000));
    EXPECT_EQ(run.err.rfind("\rwaiting for the ISP device: 31 s left (attempt  0 of 31)", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("26 s left (attempt  5 of 31)\n\rerase"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace zelv4
