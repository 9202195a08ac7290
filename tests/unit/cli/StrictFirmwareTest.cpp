#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/ParamNames.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using test::HEX_END;
using test::HexData;
using test::HexRecord;

struct RefusedFile {
    const char* label;
    const char* name;
    std::string content;
    const char* says;  // the reason's text after the file's name
    bool lenientLoads = true;
};

void PrintTo(const RefusedFile& file, std::ostream* out)
{
    *out << file.label;
}

std::string Line(const std::string& record)
{
    return record + "\n";
}

const RefusedFile REFUSED[] = {
    {"bad record checksum", "fw.hex", ":0100000042FF\n" + Line(HEX_END), ", line 1: the record's checksum is wrong"},
    {"not a hex digit", "fw.hex", Line(HexData(0, {1})) + ":01000100G1BD\n" + Line(HEX_END),
     ", line 2: 'G' inside the record is not a hex digit"},
    {"data after the declared length", "fw.hex", HexData(0x10, {1, 2}) + "ABCD\n" + Line(HEX_END),
     ", line 1: 4 character(s) after the record's checksum"},
    {"non-zero extended linear address", "fw.hex",
     Line(HexRecord(0x04, 0, {0x00, 0x01})) + Line(HexData(0, {0xAA})) + Line(HEX_END),
     ", line 1: extended linear address record sets 0x0001"},
    {"non-zero extended segment address", "fw.hex", Line(HexRecord(0x02, 0, {0x10, 0x00})) + Line(HEX_END),
     ", line 1: extended segment address record sets 0x1000"},
    {"data past 0x4FFF", "fw.hex", Line(HexData(0x4FFE, {1, 2, 3})) + Line(HEX_END),
     ", line 1: data at 0x4FFE to 0x5000 reaches past the end of the flash at 0x4FFF"},
    {"malformed end record", "fw.hex", Line(HexData(0, {1})) + ":0100000100FE\n",
     ", line 2: malformed end-of-file record"},
    {"end record without checksum", "fw.hex", Line(HexData(0, {1})) + ":00000001",
     ", line 2: malformed end-of-file record"},
    {"text outside records", "fw.hex", "firmware v2\n" + Line(HexData(0, {1})) + Line(HEX_END),
     ", line 1: 'f' outside a record"},
    {"unknown record type", "fw.hex", Line(HexRecord(0x06, 0, {})) + Line(HEX_END),
     ", line 1: unknown record type 0x06"},
    {"empty binary", "fw.bin", "", " is empty"},
    {"binary longer than the flash", "fw.bin", std::string(ISP_IMAGE_SIZE + 1, '\x55'),
     " is longer than the flash (20480 bytes)"},
    {"HEX text named as binary", "fw.Hex", Line(HexData(0, {1, 2})) + Line(HEX_END),
     " holds Intel HEX text, but its name does not contain \".hex\" or \".HEX\", so its text would be programmed "
     "as raw bytes; rename it to \"fw.hex\""},
    {"HEX text with a byte-order mark named as binary", "fw.bin", "\xEF\xBB\xBF" + Line(HexData(0, {1, 2})),
     " holds Intel HEX text, but its name does not contain"},
    {"HEX text with trailing blanks named as binary", "fw.bin", HexData(0, {1, 2}) + " \t \r\n" + Line(HEX_END),
     " holds Intel HEX text, but its name does not contain"},
    {"UTF-16 HEX text named as binary", "fw.bin", test::Utf16(Line(HexData(0, {1, 2})), false, true),
     " holds Intel HEX text, but its name does not contain \".hex\" or \".HEX\", so its text would be programmed "
     "as raw bytes; rename it to \"fw.bin.hex\", saved as ASCII or UTF-8 (it is UTF-16 text)"},
    {"UTF-16 HEX file", "fw.hex", test::Utf16(Line(HexData(0, {1, 2})) + Line(HEX_END), false, false),
     " is UTF-16 text; Intel HEX must be saved as ASCII or UTF-8", false},
    {"two HEX files joined", "fw.hex", Line(HexData(0, {1})) + Line(HEX_END) + Line(HexData(0x10, {2})) + Line(HEX_END),
     ", line 3: a record after the end-of-file record of line 2; nothing may follow it"},
    {"text after the end record", "fw.hex", Line(HexData(0, {1})) + Line(HEX_END) + "\n \nbuilt by make\n",
     ", line 5: 'b' after the end-of-file record of line 2"},
    {"end record with an address", "fw.hex", Line(HexData(0, {1})) + ":00000101FE\n",
     ", line 2: malformed end-of-file record"},
};

class StrictFirmware : public ::testing::TestWithParam<RefusedFile> {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
};

// Refused by every command that reads firmware, with exit 3, the file and the line
// named, and nothing sent to the device; the window's tolerant reading stays
// available with --lenient, which warns instead.
TEST_P(StrictFirmware, IsRefusedBeforeTheDeviceIsTouched)
{
    const RefusedFile& file = GetParam();
    const std::string path = dir.Write(file.name, file.content);
    const std::string reason = "\"" + path + "\"" + file.says;
    for (const char* command : {"checksum", "image", "write", "verify", "auto"}) {
        SCOPED_TRACE(command);
        cli.machine = test::TestMachine::CreateDefault();
        std::vector<std::string> args{command, path};
        if (std::string(command) == "image")
            args.insert(args.end(), {"-o", dir.Path("image.bin")});
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, EXIT_FILE);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("Open file error !!\n" + reason, 0), 0u) << run.err;
        EXPECT_EQ(cli.machine->HidInterfaces().Searches(), 0u) << "the device was searched for";
        EXPECT_TRUE(cli.machine->Loader().Transfers().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("image.bin")));

    const test::CliOutput json = cli.Run({"--json", "checksum", path});
    EXPECT_EQ(json.Json()["details"].value("reason", "").rfind(reason, 0), 0u);

    if (!file.lenientLoads)
        return;
    cli.machine = test::TestMachine::CreateDefault();
    const test::CliOutput lenient = cli.Run({"--lenient", "write", path});
    EXPECT_EQ(lenient.code, EXIT_OK) << lenient.err;
    EXPECT_EQ(lenient.out, "Write Command Succeeded !\n");
    EXPECT_NE(lenient.err.find("warning: "), std::string::npos) << "--lenient says what it let through";
}

INSTANTIATE_TEST_SUITE_P(Files, StrictFirmware, ::testing::ValuesIn(REFUSED), test::LabelName());

TEST(StrictFirmwareAccepts, WhatLinkersWriteAndShortBinaries)
{
    test::ScratchDir dir;
    test::CliRunner cli;
    // Zero upper addresses and start records, as srec_cat and linkers write them,
    // in lower case with CR LF line ends.
    const std::string hex = test::WithCrLf(test::Lowercase(
        Line(HexRecord(0x04, 0, {0, 0})) + Line(HexRecord(0x02, 0, {0, 0})) + Line(HexData(0x10, {0xAB})) +
        Line(HexRecord(0x05, 0, {0, 0, 1, 0})) + Line(HexRecord(0x03, 0, {0, 0, 1, 0})) + Line(HEX_END)));
    test::CliOutput run = cli.Run({"checksum", dir.Write("linker.hex", hex)});
    EXPECT_EQ(run.code, EXIT_OK) << run.err;
    EXPECT_EQ(run.out, "  ABh\n");
    EXPECT_EQ(run.err, "");

    run = cli.Run({"--json", "checksum", dir.Write("short.bin", "\x01\x02\x03")});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.Json()["details"]["image_length"], 3);
}

TEST(LenientFirmware, WriteAndVerifyWarnOncePerKindOfTolerance)
{
    test::ScratchDir dir;
    test::CliRunner cli;
    // One record with a wrong checksum and one beyond the flash.
    const std::string hex = ":0100000042FF\n" + test::HexData(0x4FFF, {1, 2}) + "\n" + test::HEX_END + "\n";
    const std::string path = dir.Write("t.hex", hex);
    const std::string warnings = "warning: 1 record(s) with a wrong checksum were loaded as they are\n"
                                 "warning: 1 data byte(s) addressed beyond 0x4FFF were dropped\n";
    cli.machine = test::TestMachine::CreateDefault();
    test::CliOutput run = cli.Run({"--lenient", "write", path});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.out, "Write Command Succeeded !\n");
    EXPECT_EQ(run.err, warnings);
    run = cli.Run({"--lenient", "verify", path});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.err, warnings);
    run = cli.Run({"auto", "--lenient", path});
    EXPECT_EQ(run.out, "ButtonAuto Function OK !!!\n");
    EXPECT_EQ(run.err, warnings);
    // Once for all devices, whether they pass or fail.
    cli.machine = test::TestMachine::CreateDefault();
    run = cli.Run({"--lenient", "write", "--all", path});
    EXPECT_EQ(run.code, EXIT_OK);
    EXPECT_EQ(run.err, warnings);
}

#ifndef _WIN32  // Windows has no FIFOs in its file system
TEST(StrictFirmwareAccepts, NothingFromAFifo)
{
    test::ScratchDir dir;
    test::CliRunner cli;
    const std::string fifo = dir.Path("pipe.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Refused at once; opening it would wait for a writer for ever.
    for (const char* lenient : {"--quiet", "--lenient"}) {
        const test::CliOutput run = cli.Run({lenient, "checksum", fifo});
        EXPECT_EQ(run.code, EXIT_FILE);
        EXPECT_NE(run.err.find("it is a FIFO, not a regular file"), std::string::npos) << run.err;
    }
}
#endif

}  // namespace
}  // namespace zelv4
