#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "core/ImageFile.h"
#include "support/ImageFileFixture.h"
#include "support/ScratchDir.h"

// Image files on POSIX systems: FIFOs, devices, /proc and file modes.
namespace zelv4 {
namespace {

using ImageFilePosixTest = test::ImageFileFixture;

// Only regular files are read: a FIFO would stall the load until a writer came, a
// device would feed it without end.
TEST_F(ImageFilePosixTest, DevicesAndFifosAreRefusedWithoutOpeningThem)
{
    std::filesystem::create_symlink("/dev/zero", dir.Path("zero.bin"));
    std::filesystem::create_symlink("/dev/zero", dir.Path("zero.hex"));
    ASSERT_EQ(::mkfifo(dir.Path("pipe.hex").c_str(), 0600), 0);
    for (const char* name : {"zero.bin", "zero.hex", "pipe.hex"}) {
        const auto result = Load(dir.Path(name));
        EXPECT_FALSE(result) << name;
        EXPECT_NE(result.reason.find("not a regular file"), std::string::npos) << result.reason;
    }
}

TEST_F(ImageFilePosixTest, ReadErrorFailsRatherThanGivingAZeroImage)
{
    // Opens fine, but reading at offset 0 fails (nothing is mapped there), even for root.
    if (!std::filesystem::exists("/proc/self/mem"))
        GTEST_SKIP() << "no /proc/self/mem";
    std::filesystem::create_symlink("/proc/self/mem", dir.Path("mem.hex"));
    for (const std::string& path : {std::string("/proc/self/mem"), dir.Path("mem.hex")}) {
        const auto result = Load(path);
        EXPECT_FALSE(result) << path;
        EXPECT_NE(result.reason.find("cannot read"), std::string::npos) << result.reason;
    }
}

TEST_F(ImageFilePosixTest, UnreadableFileFails)
{
    const std::string path = dir.Write("secret.bin", "abc");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    if (::access(path.c_str(), R_OK) == 0)
        GTEST_SKIP() << "running with privileges that read any file";
    const auto result = Load(path);
    EXPECT_FALSE(result);
    EXPECT_NE(result.reason.find("Permission denied"), std::string::npos) << result.reason;
}

TEST_F(ImageFilePosixTest, APathThroughARegularFileFails)
{
    const std::string file = dir.Write("plain.bin", "x");
    const auto result = Load(file + "/inner.hex");
    EXPECT_FALSE(result);
    EXPECT_NE(result.reason.find("Not a directory"), std::string::npos) << result.reason;
}

}  // namespace
}  // namespace zelv4
