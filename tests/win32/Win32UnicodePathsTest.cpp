#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/ParamNames.h"
#include "support/ScratchDir.h"
#include "sys/ProcessSetup.h"
#include "sys/win32/WideText.h"

namespace zelv4 {
namespace {

// Paths are UTF-8 inside the program and UTF-16 on the system: every name Windows
// takes reaches its own file. Through the ANSI code page, "fāw.hex" became "faw.hex"
// (best fit) and a CJK name "??.hex".
struct NamedFiles {
    const char* label;
    const wchar_t* firmware;
    const wchar_t* firmwareLookAlike;  // holds other firmware; null: none
    const wchar_t* dump;
    const wchar_t* dumpLookAlike;  // must stay as it is; null: none
    const wchar_t* state;
};

const NamedFiles NAMED_FILES[] = {
    {"LatinExtendedBesideItsBestFit", L"f\u0101w.hex", L"faw.hex", L"f\u0101w.bin", L"faw.bin", L"\u0101.state"},
    {"Cjk", L"\u56FA\u4EF6.hex", nullptr, L"\u8BFB\u51FA.bin", nullptr, L"\u72B6\u6001.state"},
    {"InTheAnsiCodePage", L"f\u00EFrmw\u00E4re.hex", nullptr, L"d\u00FCmp.bin", nullptr, L"\u00E9tat.state"},
};

void PrintTo(const NamedFiles& files, std::ostream* out)
{
    *out << files.label;
}

class Win32UnicodePaths : public ::testing::TestWithParam<NamedFiles> {
protected:
    std::string Name(const wchar_t* name) { return dir.Path(*WideToUtf8(name)); }
    // Asked of the system in UTF-16, past the program's own conversions.
    bool Exists(const wchar_t* name)
    {
        const std::string ascii = dir.Path("");
        return ::GetFileAttributesW((std::wstring(ascii.begin(), ascii.end()) + name).c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }

    test::ScratchDir dir;
    test::CliRunner cli;
};

TEST_P(Win32UnicodePaths, EachCommandUsesExactlyTheNamedFile)
{
    const NamedFiles& files = GetParam();
    const std::string firmware = dir.Write(*WideToUtf8(files.firmware),
                                           test::HexData(0, {0x01, 0x02, 0x03, 0x04}) + "\n" + test::HEX_END + "\n");
    if (files.firmwareLookAlike)
        dir.Write(*WideToUtf8(files.firmwareLookAlike),
                  test::HexData(0, {0xEE, 0xEE, 0xEE, 0xEE}) + "\n" + test::HEX_END + "\n");
    if (files.dumpLookAlike)
        dir.Write(*WideToUtf8(files.dumpLookAlike), "keep me");
    const std::string state = "--sim=" + Name(files.state);

    EXPECT_EQ(cli.Run({state, "write", firmware}).code, EXIT_OK);
    EXPECT_EQ(cli.Run({state, "verify", firmware}).code, EXIT_OK);
    if (files.firmwareLookAlike) {
        EXPECT_EQ(cli.Run({state, "verify", Name(files.firmwareLookAlike)}).code, EXIT_VERIFY_DIFFERENCE);
    }
    const test::CliOutput read = cli.Run({state, "read", Name(files.dump)});
    EXPECT_EQ(read.code, EXIT_OK) << read.err;

    EXPECT_TRUE(Exists(files.state));
    ASSERT_TRUE(Exists(files.dump));
    const std::string dump = test::ScratchDir::Read(Name(files.dump));
    EXPECT_EQ(dump.size(), 20480u);
    EXPECT_EQ(dump.substr(0, 4), "\x01\x02\x03\x04");
    if (files.dumpLookAlike) {
        EXPECT_EQ(test::ScratchDir::Read(Name(files.dumpLookAlike)), "keep me");
    }
}

INSTANTIATE_TEST_SUITE_P(Names, Win32UnicodePaths, ::testing::ValuesIn(NAMED_FILES), test::LabelName());

TEST(Win32UnicodeText, JsonAndMessagesCarryNamesAsTheyAre)
{
    test::ScratchDir dir;
    test::CliRunner cli;
    const std::string missing = dir.Path("\xE5\x9B\xBA\xE4\xBB\xB6.bin");  // "固件.bin"
    const test::CliOutput run = cli.Run({"--json", "checksum", missing});
    EXPECT_EQ(run.code, EXIT_FILE);
    const nlohmann::json json = run.Json();
    EXPECT_EQ(json["details"]["image_path"], missing);
    EXPECT_NE(json["details"]["reason"].get<std::string>().find(missing), std::string::npos) << json;
}

// wmain's arguments: any UTF-16 text passes as UTF-8; an unpaired surrogate, which
// a Windows name may hold, cannot, and the run is refused before any file is opened.
TEST(Win32UnicodeText, ArgumentsAreReadExactlyOrRefused)
{
    const wchar_t* exact[] = {L"zelv4-isp.exe", L"read", L"f\u0101w.bin", L"\u56FA\u4EF6.hex", L"\U0001F600"};
    const ProgramArguments read = ReadProgramArguments(5, exact);
    EXPECT_EQ(read.values, (std::vector<std::string>{"zelv4-isp.exe", "read", "f\xC4\x81w.bin",
                                                     "\xE5\x9B\xBA\xE4\xBB\xB6.hex", "\xF0\x9F\x98\x80"}));
    EXPECT_EQ(read.error, "");

    const wchar_t* unpaired[] = {L"zelv4-isp.exe", L"--json", L"checksum", L"a\xD800.hex"};
    const ProgramArguments refused = ReadProgramArguments(4, unpaired);
    EXPECT_EQ(refused.values[3], "a\xEF\xBF\xBD.hex");
    test::CliRunner cli;
    cli.argumentError = refused.error;
    const test::CliOutput run = cli.Run({refused.values.begin() + 1, refused.values.end()});
    EXPECT_EQ(run.code, EXIT_USAGE);
    EXPECT_EQ(run.Json()["message"], refused.error);
    EXPECT_NE(refused.error.find("argument 3"), std::string::npos) << refused.error;
}

}  // namespace
}  // namespace zelv4
