#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "cli/CliExitCodes.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

// Paths on Windows are text in the ANSI code page, as the command line hands them
// over and the A functions take them: non-ASCII names must reach the right files,
// and --json must carry them as UTF-8.
class Win32AnsiPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::GetACP() != 1252)
            GTEST_SKIP() << "the names below are written for ANSI code page 1252, not " << ::GetACP();
    }

    // The scratch directory's own name is ASCII; the name added is raw ANSI bytes.
    std::string Ansi(const char* name) { return dir.Path("") + name; }

    test::ScratchDir dir;
    test::CliRunner cli;
};

TEST_F(Win32AnsiPaths, FirmwareStateAndDumpNamesReachTheirFiles)
{
    const std::string image = test::ImageBytes(test::PatternImage());
    const std::string firmware = Ansi("f\xEFrmw\xE4re.bin");  // "fïrmwäre.bin"
    std::FILE* file = std::fopen(firmware.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(image.data(), 1, image.size(), file);
    std::fclose(file);
    const std::string state = "--sim=" + Ansi("\xE9tat.state");  // "état.state"
    const std::string dump = Ansi("d\xFCmp.dmp");                // "dümp.dmp"

    EXPECT_EQ(cli.Run({state, "write", firmware}).code, EXIT_OK);
    EXPECT_EQ(cli.Run({state, "verify", firmware}).code, EXIT_OK);
    EXPECT_EQ(cli.Run({state, "read", dump}).code, EXIT_OK);

    // The names as the file system holds them, in UTF-16.
    const std::string ascii = dir.Path("");
    const std::wstring wide(ascii.begin(), ascii.end());
    EXPECT_NE(::GetFileAttributesW((wide + L"d\u00FCmp.dmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesW((wide + L"\u00E9tat.state").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(test::ScratchDir::Read(dump), image);
}

TEST_F(Win32AnsiPaths, JsonCarriesThemAsUtf8)
{
    const std::string missing = Ansi("caf\xE9.bin");
    const test::CliOutput run = cli.Run({"--json", "checksum", missing});
    EXPECT_EQ(run.code, EXIT_FILE);
    const nlohmann::json json = run.Json();
    EXPECT_EQ(json["details"]["image_path"], dir.Path("") + "caf\xC3\xA9.bin");
    EXPECT_NE(json["details"]["reason"].get<std::string>().find("caf\xC3\xA9.bin"), std::string::npos) << json;
}

}  // namespace
}  // namespace zelv4
