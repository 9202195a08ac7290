#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

// How the command line reads its arguments: what it refuses, and how it says so.
class Arguments : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }
};

TEST_F(Arguments, UsageErrorsExitTwo)
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
TEST_F(Arguments, UsageErrorsSayWhatIsWrong)
{
    const std::string image = Image();
    const std::string commands = "the commands are: checksum, image, erase, write, verify, read, exit-isp, auto, "
                                 "reconnect, list, probe, watch, record";
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
        {{"--sim", "frob", "x"}, "unknown command 'frob'; " + commands},
        {{"reconnect", "--port", "1-1"}, "reconnect counts the ZEL-V4 devices on the whole bus; it takes no --port"},
    };
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path(""));
    for (const auto& [args, message] : cases) {
        cli.machine = test::TestMachine::CreateDefault();
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_USAGE) << message;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), message);
        EXPECT_TRUE(cli.machine->Loader().Transfers().empty()) << message;
    }
    std::filesystem::current_path(cwd);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("write"))) << "--sim= took the command for a state file";
}

// `--sim` takes no value: the file after it is the command's, never a state file.
TEST_F(Arguments, SimIsAPlainFlagWhereverItStands)
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
TEST_F(Arguments, SimStateMayLookLikeAnOption)
{
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path(""));
    const test::CliOutput run = cli.Run({"--sim=--json", "erase"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(run.code, EXIT_OK) << run.err;
    EXPECT_EQ(run.out, "MassErase Function OK !\n") << "not a JSON object";
    EXPECT_EQ(std::filesystem::file_size(dir.Path("--json")), ISP_IMAGE_SIZE);
}

TEST_F(Arguments, ARepeatedOptionIsNamed)
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

#if !ZELV4_RECORD
// A build without the production record (Windows) knows its options and refuses
// them, rather than calling them unknown; no chip is touched.
TEST_F(Arguments, RecordOptionsAreNotInThisBuild)
{
    const std::string image = Image();
    cli.machine = test::TestMachine::CreateDefault();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"write", "--record", dir.Path("r.db"), image},
                                                 {"watch", "--serial", "0x4FF0:le4", image},
                                                 {"record", "summary", "--record", dir.Path("r.db")}}) {
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_USAGE) << args[0];
        EXPECT_NE(run.err.find("not available in this build"), std::string::npos) << run.err;
    }
    EXPECT_EQ(cli.machine->Loader().SetCount(), 0u);
}
#endif

}  // namespace
}  // namespace zelv4
