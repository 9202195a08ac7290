#include <gtest/gtest.h>

#ifndef _WIN32  // a full disk and signals are made with POSIX calls
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "cli/CliExitCodes.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ParamNames.h"
#include "support/ScratchDir.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {
namespace {

#ifndef _WIN32
// Runs `body` in a child process whose files may grow to `limit` bytes at most, as
// on a disk with that much room left; returns the child's exit code.
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

std::set<std::string> Entries(const test::ScratchDir& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("")))
        names.insert(entry.path().filename().string());
    return names;
}

struct FailedOutput {
    const char* label;
    int exitCode;
    // Runs the command that fails; `out` is the output file's path.
    std::function<int(test::CliRunner&, const test::ScratchDir&, const std::string& out)> run;
};

void PrintTo(const FailedOutput& scenario, std::ostream* out)
{
    *out << scenario.label;
}

#ifndef _WIN32
std::string Image(const test::ScratchDir& dir)
{
    return dir.Write("fw.bin", test::ImageBytes(test::PatternImage()));
}
#endif

const FailedOutput FAILED_OUTPUTS[] = {
    {"read without a chip", EXIT_NO_DEVICE,
     [](test::CliRunner& cli, const test::ScratchDir&, const std::string& out) {
         cli.machine = test::EmptyMachine();
         return cli.Run({"read", out}).code;
     }},
    {"read failing at block 199", EXIT_TRANSFER_FAILED,
     [](test::CliRunner& cli, const test::ScratchDir&, const std::string& out) {
         cli.machine = SimMachine::CreateDefault();
         cli.machine->Loader().FailGetAt(200);
         return cli.Run({"read", out}).code;
     }},
#ifndef _WIN32
    {"read onto a full disk", EXIT_FILE,
     [](test::CliRunner& cli, const test::ScratchDir&, const std::string& out) {
         return WithFileSizeLimit(4096, [&] {
             const test::CliOutput run = cli.Run({"--sim", "read", out});
             const bool said = run.err == "Read Fail !!!\ncannot write \"" + out + "\": File too large\n";
             return said ? run.code : 99;
         });
     }},
    {"image onto a full disk", EXIT_FILE,
     [](test::CliRunner& cli, const test::ScratchDir& dir, const std::string& out) {
         const std::string image = Image(dir);
         const int code = WithFileSizeLimit(ISP_IMAGE_SIZE - 1, [&] {
             return cli.Run({"image", image, "-o", out}).code;
         });
         std::filesystem::remove(image);
         return code;
     }},
#endif
    {"read into a directory", EXIT_FILE,
     [](test::CliRunner& cli, const test::ScratchDir& dir, const std::string&) {
         std::filesystem::create_directory(dir.Path("d.dmp"));
         const test::CliOutput run = cli.Run({"--sim", "read", dir.Path("d.dmp")});
         std::filesystem::remove(dir.Path("d.dmp"));
         const bool said =
             run.err == "Open file error !!\ncannot create \"" + dir.Path("d.dmp") + "\": Is a directory\n";
         return said ? run.code : 99;
     }},
};

class FailedOutputs : public ::testing::TestWithParam<FailedOutput> {};

// Whatever fails, the output file is left exactly as it was, or absent, and no
// temporary file is left beside it.
TEST_P(FailedOutputs, LeaveTheFileAsItWas)
{
    for (const bool existed : {true, false}) {
        SCOPED_TRACE(existed ? "OUT existed" : "no OUT");
        test::ScratchDir dir;
        test::CliRunner cli;
        const std::string out = existed ? dir.Write("keep.dmp", "what was kept") : dir.Path("keep.dmp");
        EXPECT_EQ(GetParam().run(cli, dir, out), GetParam().exitCode);
        if (existed) {
            EXPECT_EQ(test::ScratchDir::Read(out), "what was kept");
        }
        EXPECT_EQ(Entries(dir), existed ? std::set<std::string>{"keep.dmp"} : std::set<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, FailedOutputs, ::testing::ValuesIn(FAILED_OUTPUTS), test::LabelName());

#ifndef _WIN32  // links and signals as POSIX systems have them
TEST(ReplacedOutput, ThroughALinkReplacesTheFileItPointsTo)
{
    test::ScratchDir dir;
    test::CliRunner cli;
    const std::string target = dir.Write("flash.dmp", "old");
    std::filesystem::create_symlink("flash.dmp", dir.Path("latest.dmp"));
    ASSERT_EQ(cli.Run({"--sim", "read", dir.Path("latest.dmp")}).code, EXIT_OK);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("latest.dmp")));
    EXPECT_EQ(test::ScratchDir::Read(target), std::string(ISP_IMAGE_SIZE, '\xFF'));
    EXPECT_EQ(Entries(dir), (std::set<std::string>{"flash.dmp", "latest.dmp"}));
}

// A program stopped by SIGINT or SIGTERM while it writes takes its temporary file
// with it.
TEST(ReplacedOutput, SignalLeavesNoTemporaryFile)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        test::ScratchDir dir;
        const std::string out = dir.Write("keep.dmp", "kept");
        const pid_t child = ::fork();
        if (child == 0) {
            std::string error;
            const auto file = ReplacingFile::Create(out, error);
            const std::uint8_t block[32]{};
            if (file && file->Write(block))
                ::raise(signal);
            ::_exit(1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ(test::ScratchDir::Read(out), "kept");
        EXPECT_EQ(Entries(dir), std::set<std::string>{"keep.dmp"});
    }
}
#endif

}  // namespace
}  // namespace zelv4
