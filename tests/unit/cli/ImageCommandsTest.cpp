#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/IspConstants.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using test::HEX_END;
using test::HexData;
using test::HexRecord;

std::size_t Lines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class ImageCommandsTest : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(ImageCommandsTest, ChecksumPrintsTheWindowText)
{
    std::vector<std::uint8_t> data(12, 0xE5);  // 12 * 0xE5 = 0xABC
    const std::string path = dir.Write("fw.hex", HexData(0x1000, data) + "\n" + HEX_END + "\n");
    const test::CliOutput run = test::CliRunner().Run({"checksum", path});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, " ABCh\n");
    EXPECT_EQ(run.err, "");

    const test::CliOutput empty = test::CliRunner().Run({"--lenient", "checksum", dir.Write("empty.bin", "")});
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.out, "   0h\n");
}

TEST_F(ImageCommandsTest, ChecksumWarnsOncePerKindOfTolerance)
{
    const std::string hex = HexRecord(0x04, 0, {0, 0}) + "\n" + HexRecord(0x04, 0, {0, 0}) + "\n" +
                            ":0100000042FF\n:0100010042FF\n" + HexData(0x4FFF, {1, 2, 3}) + "\n:01000200zz00\n" +
                            HEX_END + "\n";
    const test::CliOutput run = test::CliRunner().Run({"--lenient", "checksum", dir.Write("t.hex", hex)});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(Lines(run.out), 1u);
    EXPECT_EQ(Lines(run.err), 4u) << run.err;
    EXPECT_NE(run.err.find("checksum"), std::string::npos);
    EXPECT_NE(run.err.find("2 data byte(s)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not hex digits"), std::string::npos);
    EXPECT_NE(run.err.find("2 record(s) of types"), std::string::npos) << run.err;
}

TEST_F(ImageCommandsTest, UnloadableFileSaysOpenFileErrorAndWhy)
{
    for (const std::string& path : {dir.Path("missing.hex"), std::string(), dir.Write("cut.hex", ":1000")}) {
        SCOPED_TRACE(path);
        for (const char* command : {"checksum", "image"}) {
            std::vector<std::string> args{command, path};
            if (std::string(command) == "image")
                args.insert(args.end(), {"-o", dir.Path("never.bin")});
            const test::CliOutput run = test::CliRunner().Run(args);
            EXPECT_EQ(run.code, 3);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err.rfind("Open file error !!\n", 0), 0u) << run.err;
            EXPECT_EQ(Lines(run.err), 2u) << run.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("never.bin"))) << "no output for a file that did not load";
}

TEST_F(ImageCommandsTest, ImageWritesExactly20480Bytes)
{
    const std::string path = dir.Write("fw.HEX", HexData(0x4FFC, {1, 2, 3, 4}) + "\r\n" + HEX_END + "\r\n");
    const std::string out = dir.Path("out.bin");
    const test::CliOutput run = test::CliRunner().Run({"image", path, "-o", out});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string written = test::ScratchDir::Read(out);
    ASSERT_EQ(written.size(), ISP_IMAGE_SIZE);
    EXPECT_EQ(written.substr(0x4FFC), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(written.substr(0, 0x4FFC), std::string(0x4FFC, '\0'));
}

TEST_F(ImageCommandsTest, OutputThatCannotBeWrittenFails)
{
    const std::string path = dir.Write("fw.bin", "abc");
    if (std::filesystem::exists("/dev/full")) {
        const test::CliOutput full = test::CliRunner().Run({"image", path, "-o", "/dev/full"});
        EXPECT_EQ(full.code, 3);
        EXPECT_NE(full.err.find("/dev/full"), std::string::npos) << full.err;
    }
    const test::CliOutput noDir = test::CliRunner().Run({"image", path, "-o", dir.Path("no/such/dir.bin")});
    EXPECT_EQ(noDir.code, 3);
    EXPECT_NE(noDir.err.find("No such file"), std::string::npos) << noDir.err;
}

TEST_F(ImageCommandsTest, MissingArgumentsAreUsageErrors)
{
    EXPECT_EQ(test::CliRunner().Run({"checksum"}).code, 2);
    EXPECT_EQ(test::CliRunner().Run({"image", dir.Write("fw.bin", "abc")}).code, 2) << "-o is required";
}

}  // namespace
}  // namespace zelv4
