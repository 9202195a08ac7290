#include <gtest/gtest.h>

#ifndef _WIN32  // a full disk, signals, descriptors and FIFOs are made with POSIX calls
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "cli/ExitCodes.h"
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

std::string Image(const test::ScratchDir& dir)
{
    return dir.Write("fw.bin", test::ImageBytes(test::PatternImage()));
}

const FailedOutput FAILED_OUTPUTS[] = {
    {"read without a chip", EXIT_NO_DEVICE,
     [](test::CliRunner& cli, const test::ScratchDir&, const std::string& out) {
         cli.machine = test::EmptyMachine();
         return cli.Run({"read", out}).code;
     }},
    {"read failing at block 199", EXIT_TRANSFER_FAILED,
     [](test::CliRunner& cli, const test::ScratchDir&, const std::string& out) {
         cli.machine = test::TestMachine::CreateDefault();
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

// Where an output goes, and what becomes of the files around it: an output never
// destroys an input of its run, however it is spelled; a binary output is never
// named as HEX; a stream (a descriptor, a device, a FIFO) is written directly.
struct OutputScene {
    test::ScratchDir dir;
    int fd = -1;  // a descriptor the case opened: closed with the scene
    ~OutputScene()
    {
#ifndef _WIN32
        if (fd >= 0)
            ::close(fd);
#endif
    }
};

struct OutputPath {
    const char* label;
    int exitCode;
    const char* said;  // part of the message; empty: none expected
    // The command, the firmware being fw.bin in the scene's directory.
    std::function<std::vector<std::string>(OutputScene&)> args;
    // What else must hold afterwards.
    std::function<void(OutputScene&)> check = {};
};

void PrintTo(const OutputPath& scenario, std::ostream* out)
{
    *out << scenario.label;
}

using Args = std::vector<std::string>;

const OutputPath OUTPUT_PATHS[] = {
    {"image onto its firmware", EXIT_USAGE, "is the firmware file",
     [](OutputScene& s) {
         return Args{"image", s.dir.Path("fw.bin"), "-o", s.dir.Path("sub/../fw.bin")};
     }},
    {"read onto the state file of its run", EXIT_USAGE, "is the --sim=STATE file",
     [](OutputScene& s) {
         return Args{"--sim=" + s.dir.Path("chip.state"), "read", s.dir.Path("./chip.state")};
     },
     [](OutputScene& s) { EXPECT_FALSE(std::filesystem::exists(s.dir.Path("chip.state"))); }},
    {"log onto the firmware", EXIT_USAGE, "is the firmware file",
     [](OutputScene& s) {
         return Args{"--sim", "watch", "--log", s.dir.Path("fw.bin"), s.dir.Path("fw.bin")};
     }},
    {"dump named as HEX", EXIT_USAGE, "name it .bin or .dmp",
     [](OutputScene& s) {
         return Args{"--sim", "read", s.dir.Path("flash.hex")};
     },
     [](OutputScene& s) { EXPECT_FALSE(std::filesystem::exists(s.dir.Path("flash.hex"))); }},
    {"image named as HEX", EXIT_USAGE, "name it .bin or .dmp",
     [](OutputScene& s) {
         return Args{"image", s.dir.Path("fw.bin"), "-o", s.dir.Path("fw.HEX")};
     }},
    {"dumps of all devices named as HEX", EXIT_USAGE, "name it .bin or .dmp",
     [](OutputScene& s) {
         return Args{"--sim", "read", "--all", s.dir.Path("{port}.hex")};
     }},
    {"standard output under json", EXIT_USAGE, "--output cannot be standard output too",
     [](OutputScene& s) {
         return Args{"--json", "image", s.dir.Path("fw.bin"), "-o", "-"};
     }},
#ifndef _WIN32
    {"image onto a link to its firmware", EXIT_USAGE, "is the firmware file",
     [](OutputScene& s) {
         std::filesystem::create_symlink("fw.bin", s.dir.Path("latest.bin"));
         return Args{"image", s.dir.Path("fw.bin"), "-o", s.dir.Path("latest.bin")};
     }},
    // As `read /dev/stdout >> a2.bin` runs: appended, not replaced.
    {"read to a descriptor appends", EXIT_OK, "",
     [](OutputScene& s) {
         s.fd = ::open(s.dir.Write("a2.bin", "head").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
         return Args{"--sim", "read", "/proc/self/fd/" + std::to_string(s.fd)};
     },
     [](OutputScene& s) {
         EXPECT_EQ(test::ScratchDir::Read(s.dir.Path("a2.bin")), "head" + std::string(ISP_IMAGE_SIZE, '\xFF'));
     }},
    // The reader is there first; the image fits in the pipe's buffer.
    {"image into a FIFO", EXIT_OK, "",
     [](OutputScene& s) {
         ::mkfifo(s.dir.Path("pipe").c_str(), 0600);
         s.fd = ::open(s.dir.Path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         return Args{"image", s.dir.Path("fw.bin"), "-o", s.dir.Path("pipe")};
     },
     [](OutputScene& s) {
         std::string piped(ISP_IMAGE_SIZE + 1, '\0');
         EXPECT_EQ(::read(s.fd, piped.data(), piped.size()), static_cast<ssize_t>(ISP_IMAGE_SIZE));
         EXPECT_EQ(piped.substr(0, ISP_IMAGE_SIZE), test::ImageBytes(test::PatternImage()));
     }},
    {"read into a full device", EXIT_FILE, "cannot write \"/dev/full\": No space left on device",
     [](OutputScene&) {
         return Args{"--sim", "read", "/dev/full"};
     }},
#endif
};

class OutputPaths : public ::testing::TestWithParam<OutputPath> {};

TEST_P(OutputPaths, NeverDestroyAnInputAndWriteStreamsDirectly)
{
    OutputScene scene;
    test::CliRunner cli;
    const std::string firmware = Image(scene.dir);
    std::filesystem::create_directory(scene.dir.Path("sub"));
    const test::CliOutput run = cli.Run(GetParam().args(scene));
    EXPECT_EQ(run.code, GetParam().exitCode) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(GetParam().said), std::string::npos) << run.out << run.err;
    EXPECT_EQ(test::ScratchDir::Read(firmware), test::ImageBytes(test::PatternImage()));
    if (GetParam().check)
        GetParam().check(scene);
}

INSTANTIATE_TEST_SUITE_P(Paths, OutputPaths, ::testing::ValuesIn(OUTPUT_PATHS), test::LabelName());

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

// A program that any signal ends while it writes takes its temporary file with it.
TEST(ReplacedOutput, SignalLeavesNoTemporaryFile)
{
    for (const int signal :
         {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF}) {
        SCOPED_TRACE(signal);
        test::ScratchDir dir;
        const std::string out = dir.Write("keep.dmp", "kept");
        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            const auto file = ReplacingFile::Create(out);
            const std::uint8_t block[32]{};
            if (file && (*file)->Write(block))
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
