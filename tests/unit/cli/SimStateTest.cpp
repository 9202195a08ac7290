#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/ExitCodes.h"
#include "cli/run/SimStateFile.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

class SimState : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string state = dir.Path("chip.state");
    std::string StateOption() const { return "--sim=" + state; }
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }
};

TEST_F(SimState, WriteInOneRunIsWhatTheNextRunVerifies)
{
    const std::string image = Image();
    test::CliOutput run = cli.Run({StateOption(), "write", image});
    ASSERT_EQ(run.code, EXIT_OK) << run.err;
    EXPECT_EQ(test::ScratchDir::Read(state), test::ImageBytes(test::PatternImage()));
    run = cli.Run({"verify", image, StateOption()});
    EXPECT_EQ(run.code, EXIT_OK) << run.err;
    EXPECT_EQ(run.out, "Verify Succeeded !\n");

    // Plain --sim is a fresh chip: the written image is not there.
    EXPECT_EQ(cli.Run({"--sim", "verify", image}).code, EXIT_VERIFY_DIFFERENCE);

    // One byte changed in the state: verify names it.
    {
        std::fstream file(state, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(0x2345);
        file.put(static_cast<char>(test::PatternImage()[0x2345] ^ 0x01));
    }
    run = cli.Run({StateOption(), "verify", image});
    EXPECT_EQ(run.code, EXIT_VERIFY_DIFFERENCE);
    char expected[80];
    std::snprintf(expected, sizeof expected, "Verify Fail !!!\nfirst difference at 0x2345: chip 0x%02X, file 0x%02X\n",
                  test::PatternImage()[0x2345] ^ 0x01, test::PatternImage()[0x2345]);
    EXPECT_EQ(run.err, expected);

    // Erase goes back to the file too.
    EXPECT_EQ(cli.Run({StateOption(), "erase"}).code, EXIT_OK);
    EXPECT_EQ(test::ScratchDir::Read(state), std::string(ISP_IMAGE_SIZE, '\xFF'));
}

TEST_F(SimState, MissingFileIsAnErasedChipAndIsCreated)
{
    const test::CliOutput run = cli.Run({StateOption(), "read", dir.Path("f.dmp")});
    EXPECT_EQ(run.code, EXIT_OK) << run.err;
    EXPECT_EQ(test::ScratchDir::Read(dir.Path("f.dmp")), std::string(ISP_IMAGE_SIZE, '\xFF'));
    EXPECT_EQ(test::ScratchDir::Read(state), std::string(ISP_IMAGE_SIZE, '\xFF'));
    // Saved by renaming a finished file: nothing else is left in the directory.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path("")))
        ++files;
    EXPECT_EQ(files, 2u);
}

TEST_F(SimState, DamagedStateIsRefusedAndLeftAsItWas)
{
    for (const std::string& content :
         {std::string(ISP_IMAGE_SIZE - 1, '\0'), std::string(ISP_IMAGE_SIZE + 1, '\0'), std::string()}) {
        dir.Write("chip.state", content);
        const test::CliOutput run = cli.Run({StateOption(), "write", Image()});
        EXPECT_EQ(run.code, EXIT_FILE);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("is damaged: it must hold exactly 20480 bytes"), std::string::npos) << run.err;
        EXPECT_EQ(test::ScratchDir::Read(state), content);
    }
    std::filesystem::remove(state);
    std::filesystem::create_directory(state);
    test::CliOutput run = cli.Run({StateOption(), "erase"});
    EXPECT_EQ(run.code, EXIT_FILE);
    EXPECT_NE(run.err.find("is unusable: it is not a regular file"), std::string::npos) << run.err;

#ifndef _WIN32
    // A device is no state: never "damaged, remove it".
    run = cli.Run({"--sim=/dev/full", "erase"});
    EXPECT_EQ(run.code, EXIT_FILE);
    EXPECT_EQ(run.err, "the simulated flash state \"/dev/full\" is unusable: it is not a regular file\n");
#endif

    dir.Write("short", "abc");
    run = cli.Run({"--json", "--sim=" + dir.Path("short"), "erase"});
    const nlohmann::json json = run.Json();
    EXPECT_EQ(json["exit_code"], EXIT_FILE);
    EXPECT_EQ(json["outcome"], "state-file-error");
    EXPECT_EQ(json["command"], "erase");
}

// Found out before the run, not after a chip was changed that cannot be kept.
TEST_F(SimState, StateThatCannotBeKeptIsRefusedBeforeTheRun)
{
    const test::CliOutput run = cli.Run({"--sim=" + dir.Path("no/such/dir/chip.state"), "erase"});
    EXPECT_EQ(run.code, EXIT_FILE);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("is unusable: cannot create"), std::string::npos) << run.err;
}

// A missing state is made whole, as an erased chip, before the run: a first run
// cut short (Ctrl-C, a crash) leaves a usable state, never an empty file.
TEST(SimStateFile, AMissingStateIsAnErasedChipFromTheStart)
{
    test::ScratchDir dir;
    const std::string path = dir.Path("chip.state");
    SimStateFile state(path);
    const Expected<void> locked = state.Lock();
    ASSERT_TRUE(locked) << locked.error().message;
    EXPECT_EQ(test::ScratchDir::Read(path), std::string(ISP_IMAGE_SIZE, '\xFF'));
}

TEST(SimStateFile, SaveReplacesTheWholeFileAndKeepsItsMode)
{
    test::ScratchDir dir;
    const std::string path = dir.Write("s", std::string(ISP_IMAGE_SIZE, 'x'));
#ifndef _WIN32  // Windows files have no mode to keep
    std::filesystem::permissions(path, std::filesystem::perms(0640));
#endif
    FirmwareImage flash = test::PatternImage();
    const Expected<void> saved = SimStateFile(path).Save(flash);
    ASSERT_TRUE(saved) << saved.error().message;
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
#endif
    const Expected<FirmwareImage> loaded = SimStateFile(path).Load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, flash);
}

}  // namespace
}  // namespace zelv4
