// The production record and serial numbers through the command line, in process, on
// the simulated line and an SQLite record.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "core/FirmwareImage.h"
#include "record/RecordStore.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using Args = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// Code at 0x0000..0x003F and nothing else, so the serial field has room at the end.
const Bytes CODE = [] {
    Bytes code(64);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(0xA0 + i);
    return code;
}();

class CliRecord : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string image = dir.Write("fw.hex", test::HexData(0x0000, Bytes(CODE.begin(), CODE.begin() + 32)) + "\n" +
                                                test::HexData(0x0020, Bytes(CODE.begin() + 32, CODE.end())) + "\n" +
                                                test::HEX_END + "\n");
    std::string record = dir.Path("record.db");

    static FirmwareImage Loaded()
    {
        FirmwareImage flash{};
        std::copy(CODE.begin(), CODE.end(), flash.begin());
        return flash;
    }
    // The default machine and `chips` - 1 more, each holding `flash`.
    void Line(unsigned chips, const std::optional<FirmwareImage>& flash = std::nullopt)
    {
        cli.machine = test::TestMachine::CreateDefault();
        for (unsigned chip = 1; chip < chips; ++chip)
            cli.machine->AddChip();
        if (flash)
            for (const auto& chip : cli.machine->Chips())
                chip->Flash() = *flash;
    }
    Args With(Args args)
    {
        for (std::string& arg : args)
            arg = arg == "IMAGE" ? image : arg == "RECORD" ? record : arg == "OUT" ? dir.Path("out-{port}.dmp") : arg;
        return args;
    }
    std::vector<ChipRecord> Rows()
    {
        std::vector<ChipRecord> rows;
        auto store = RecordStore::Open(record);
        EXPECT_TRUE(store) << store.error().message;
        if (store) {
            EXPECT_TRUE((*store)->ExportChips(std::nullopt, [&](const ChipRecord& row) { rows.push_back(row); }));
        }
        return rows;
    }
};

// Every command that touches chips keeps one complete row per chip.
TEST_F(CliRecord, EachCommandKeepsARowPerChip)
{
    struct Case {
        Args args;
        unsigned chips;
        std::string operation;
        bool firmware;
        bool ports;  // auto leaves ISP mode: a single run cannot tell the port after it
    };
    const std::vector<Case> cases = {
        {{"write", "IMAGE"}, 1, "write", true, true},
        {{"verify", "IMAGE"}, 1, "verify", true, true},
        {{"auto", "IMAGE"}, 1, "auto", true, false},
        {{"read", dir.Path("dump.bin")}, 1, "read", false, true},
        {{"write", "--all", "IMAGE"}, 3, "write", true, true},
        {{"read", "--all", "OUT"}, 2, "read", false, true},
        {{"watch", "--count", "2", "--op", "auto", "IMAGE"}, 2, "auto", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        std::filesystem::remove(record);
        Line(c.chips, Loaded());
        Args args = With(c.args);
        args.insert(args.begin() + 1, {"--record", record, "--station", "line-7"});
        const test::CliOutput run = cli.Run(args);
        ASSERT_EQ(run.code, EXIT_OK) << run.out << run.err;
        const std::vector<ChipRecord> rows = Rows();
        ASSERT_EQ(rows.size(), c.chips);
        for (const ChipRecord& row : rows) {
            EXPECT_EQ(row.station, "line-7");
            EXPECT_EQ(row.operation, c.operation);
            EXPECT_EQ(row.outcome, "succeeded");
            EXPECT_EQ(row.exitCode, 0);
            EXPECT_FALSE(row.devicePath.empty());
            EXPECT_EQ(row.port.has_value(), c.ports);
            EXPECT_LE(row.startedAt, row.endedAt);
            EXPECT_EQ(row.startedAt.size(), 24u) << row.startedAt;
            EXPECT_GE(row.seconds, 0);
            EXPECT_FALSE(row.message.empty());
            EXPECT_EQ(row.firmwarePath, c.firmware ? std::optional(image) : std::nullopt);
            EXPECT_EQ(row.fileChecksum, c.firmware ? std::optional(ImageChecksum(Loaded())) : std::nullopt);
            EXPECT_EQ(row.chipChecksum.has_value(), c.firmware);
            EXPECT_FALSE(row.serial);
        }
    }
}

// Each format stores exactly its bytes at its address, and nothing else changes; the
// next chip gets the next number; the chip's checksum is of what it got.
TEST_F(CliRecord, EachFormatPatchesExactlyItsBytes)
{
    struct Case {
        std::string spec;
        Args extra;
        std::size_t address;
        Bytes first, second;  // the field on the first chip and the next
    };
    const std::vector<Case> cases = {
        {"0x4FF0:le4:0x01020304", {}, 0x4FF0, {4, 3, 2, 1}, {5, 3, 2, 1}},
        {"0x4FF0:be2:0x0AFF:2", {}, 0x4FF0, {0x0A, 0xFF}, {0x0B, 0x01}},
        {"0x4FF8:be8:0x0102030405060708", {}, 0x4FF8, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 9}},
        {"0x4FFF:le1:254", {}, 0x4FFF, {254}, {255}},
        {"0x4FF0:dec8:99:5",
         {},
         0x4FF0,
         Bytes{'0', '0', '0', '0', '0', '0', '9', '9'},
         Bytes{'0', '0', '0', '0', '0', '1', '0', '4'}},
        {"0x0010:le2:0xBEEF", {"--serial-overwrite"}, 0x0010, {0xEF, 0xBE}, {0xF0, 0xBE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        std::filesystem::remove(record);
        for (const Bytes& field : {c.first, c.second}) {
            Line(1);
            Args args = {"--json", "write", "--record", record, "--serial", c.spec, image};
            args.insert(args.end() - 1, c.extra.begin(), c.extra.end());
            const test::CliOutput run = cli.Run(args);
            ASSERT_EQ(run.code, EXIT_OK) << run.out;
            FirmwareImage expected = Loaded();
            std::copy(field.begin(), field.end(), expected.begin() + c.address);
            EXPECT_EQ(cli.machine->Loader().Flash(), expected);
            const nlohmann::json details = run.Json()["details"];
            EXPECT_EQ(details["checksum"], ImageChecksum(expected));
            EXPECT_EQ(details["file_checksum"], ImageChecksum(Loaded()));
        }
        const std::vector<ChipRecord> rows = Rows();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_NE(rows[0].serial, rows[1].serial);
        EXPECT_NE(rows[0].chipChecksum, rows[1].chipChecksum);
    }
}

// What cannot be numbered safely is refused before any chip is touched.
TEST_F(CliRecord, RefusesUnsafeSerialsBeforeAnyChip)
{
    struct Case {
        Args before;  // a run that leaves the record so
        Args args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{},
         {"write", "--record", "RECORD", "--serial", "0x0030:le4", "IMAGE"},
         "covers bytes the firmware file fills"},
        {{}, {"auto", "--record", "RECORD", "--serial", "0x4FFE:le4", "IMAGE"}, "runs past the end of the flash"},
        {{}, {"write", "--record", "RECORD", "--serial", "0x4FF0:dec2:100", "IMAGE"}, "does not fit"},
        {{"write", "--record", "RECORD", "--serial", "0x4FF0:le1:255", "IMAGE"},
         {"write", "--record", "RECORD", "--serial", "0x4FF0:le1", "IMAGE"},
         "is at 256, which does not fit le1"},
        {{}, {"write", "--all", "--serial", "0x4FF0:le4", "IMAGE"}, "--serial needs --record"},
        {{"write", "--record", "RECORD", "--serial", "0x4FF0:le4:1000", "IMAGE"},
         {"watch", "--record", "RECORD", "--serial", "0x4FF0:le4:5", "IMAGE"},
         "counts from 1000"},
        {{},
         {"watch", "--op", "verify", "--record", "RECORD", "--serial", "0x4FF0:le4", "IMAGE"},
         "--op auto or write"},
        {{}, {"write", "--serial-name", "x", "IMAGE"}, "needs --serial"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::filesystem::remove(record);
        if (!c.before.empty()) {
            Line(1);
            ASSERT_EQ(cli.Run(With(c.before)).code, EXIT_OK);
        }
        Line(2);
        const test::CliOutput run = cli.Run(With(c.args));
        EXPECT_EQ(run.code, EXIT_USAGE) << run.out << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        for (const auto& chip : cli.machine->Chips())
            EXPECT_EQ(chip->SetCount() + chip->GetCount(), 0u);
    }
}

// A failed chip's number is never handed out again: spoiled, said by the run and
// found in the record as such, with the chip's row; `record` shows it all.
TEST_F(CliRecord, AFailedChipsNumberIsSpoiledReportedAndFound)
{
    Line(3);
    cli.machine->Chips()[1]->FailSetAt(3);
    const test::CliOutput run =
        cli.Run({"--json", "auto", "--all", "--record", record, "--serial", "0x4FF0:le4:100", image});
    EXPECT_EQ(run.code, EXIT_TRANSFER_FAILED) << run.out;
    const nlohmann::json details = run.Json()["details"];
    const nlohmann::json failed = details["devices"][1];
    ASSERT_EQ(failed["port"], "1-3.1");
    const std::uint64_t spoiled = failed["serial"];
    EXPECT_EQ(details["spoiled_serials"], nlohmann::json::array({spoiled}));
    std::vector<std::uint64_t> serials;
    for (const nlohmann::json& device : details["devices"])
        serials.push_back(device["serial"]);
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::uint64_t>{100, 101, 102}));

    Line(1);
    const std::string text = cli.Run({"auto", "--record", record, "--serial", "0x4FF0:le4", image}).err;
    EXPECT_EQ(text, "") << "the fourth chip passed";
    EXPECT_EQ(Rows().back().serial, 103u) << "no number twice, the spoiled one neither";

    const test::CliOutput summary = cli.Run({"record", "summary", "--record", record});
    EXPECT_EQ(summary.code, EXIT_OK);
    EXPECT_NE(summary.out.find("counter serial-4FF0-le4: next 104 (from 100, step 1): 3 used, 1 spoiled, 0 unsettled"),
              std::string::npos)
        << summary.out;
    const nlohmann::json counts = cli.Run({"--json", "record", "summary", "--record", record}).Json()["details"];
    EXPECT_EQ(counts["counters"][0]["spoiled"], 1);
    ASSERT_EQ(counts["counts"].size(), 2u) << counts;  // one station and day: succeeded, transfer-failed

    const std::string number = std::to_string(spoiled);
    const test::CliOutput found = cli.Run({"record", "find", number, "--record", record});
    EXPECT_NE(found.out.find("serial " + number + " of counter serial-4FF0-le4: spoiled"), std::string::npos)
        << found.out;
    EXPECT_NE(found.out.find("FAILED transfer-failed"), std::string::npos) << found.out;
    const nlohmann::json history = cli.Run({"--json", "record", "find", number, "--record", record}).Json()["details"];
    EXPECT_EQ(history["numbers"][0]["state"], "spoiled");
    EXPECT_EQ(history["chips"][0]["port"], "1-3.1");
    EXPECT_EQ(cli.Run({"record", "find", "99", "--record", record}).code, EXIT_NO_DEVICE);

    // Export: a header and the four rows; JSON Lines; only rows since a time; --json.
    const std::string csv = cli.Run({"record", "export", "--record", record}).out;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5) << csv;
    EXPECT_TRUE(csv.starts_with("id,started_at,")) << csv;
    const std::string jsonl = cli.Run({"record", "export", "--format", "jsonl", "--record", record}).out;
    EXPECT_EQ(std::count(jsonl.begin(), jsonl.end(), '\n'), 4) << jsonl;
    EXPECT_EQ(cli.Run({"record", "export", "--since", "2999-01-01", "--format", "jsonl", "--record", record}).out, "");
    const nlohmann::json exported = cli.Run({"--json", "record", "export", "--record", record}).Json()["details"];
    EXPECT_EQ(exported["chips"].size(), 4u);
    EXPECT_EQ(cli.Run({"record", "export", "-o", record, "--record", record}).code, EXIT_USAGE);
    // Reading a record that is not there fails and makes no empty one.
    const std::string typo = dir.Path("recrod.db");
    EXPECT_EQ(cli.Run({"record", "summary", "--record", typo}).code, EXIT_FILE);
    EXPECT_FALSE(std::filesystem::exists(typo));
}

}  // namespace
}  // namespace zelv4
