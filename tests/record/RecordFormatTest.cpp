#include <gtest/gtest.h>

#include "record/RecordFormat.h"

namespace zelv4 {
namespace {

ChipRecord FailedChip()
{
    ChipRecord chip;
    chip.id = 7;
    chip.startedAt = "2024-05-01T08:00:00.000Z";
    chip.endedAt = "2024-05-01T08:00:02.000Z";
    chip.station = "line-1";
    chip.port = "1-2.3";
    chip.devicePath = "/dev/hidraw3";
    chip.operation = "auto";
    chip.firmwarePath = "fw, v2.hex";
    chip.fileChecksum = 0x0ABC;
    chip.serialCounter = "serial-4FF0-le4";
    chip.serial = 1005;
    chip.chipChecksum = 0x1A2B;
    chip.outcome = "verify-failed";
    chip.exitCode = 5;
    chip.message = "Verify Error !!!\nat \"0x0100\"";
    chip.seconds = 1.9375;
    return chip;
}

TEST(RecordCsv, QuotesOnlyWhatNeedsIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {" padded", "\" padded\""},
        {"inner blank", "inner blank"},
    };
    for (const auto& [text, field] : cases)
        EXPECT_EQ(CsvField(text), field) << text;
}

TEST(RecordCsv, OneLinePerChipUnderTheJsonKeys)
{
    EXPECT_EQ(ChipCsvHeader(), "id,started_at,ended_at,station,port,device_path,operation,firmware_path,file_checksum,"
                               "serial_counter,serial,chip_checksum,outcome,exit_code,message,seconds");
    EXPECT_EQ(ChipCsvLine(FailedChip()),
              "7,2024-05-01T08:00:00.000Z,2024-05-01T08:00:02.000Z,line-1,1-2.3,/dev/hidraw3,auto,\"fw, v2.hex\","
              "ABCh,serial-4FF0-le4,1005,1A2Bh,verify-failed,5,\"Verify Error !!!\nat \"\"0x0100\"\"\",1.938");
    ChipRecord bare;
    EXPECT_EQ(ChipCsvLine(bare), "0,,,,,,,,,,,,,0,,0.000") << "absent values are empty fields";

    const nlohmann::ordered_json json = ChipJson(FailedChip());
    std::string keys;
    for (const auto& [key, value] : json.items())
        keys += (keys.empty() ? "" : ",") + key;
    EXPECT_EQ(keys, ChipCsvHeader());
    EXPECT_EQ(json["serial"], 1005);
    EXPECT_EQ(json["chip_checksum"], 0x1A2B);
    EXPECT_TRUE(ChipJson(ChipRecord())["port"].is_null());
}

RecordSummary Summary()
{
    return {{{"line-1", "2024-05-01", "ok", 118},
             {"line-1", "2024-05-01", "verify-failed", 2},
             {"line-two", "2024-05-02", "ok", 7}},
            {{{"serial-4FF0-le4", 1000, 1, 1128}, 125, 2, 1}}};
}

TEST(RecordReport, SummaryAsTextAndJson)
{
    EXPECT_EQ(SummaryText(Summary()), "day         station   outcome        chips\n"
                                      "2024-05-01  line-1    ok             118\n"
                                      "2024-05-01  line-1    verify-failed  2\n"
                                      "2024-05-02  line-two  ok             7\n"
                                      "counter serial-4FF0-le4: next 1128 (from 1000, step 1): 125 used, 2 spoiled, "
                                      "1 unsettled\n");
    EXPECT_EQ(SummaryText({}), "no chips recorded\n");
    EXPECT_EQ(SummaryJson(Summary()).dump(),
              R"({"counts":[{"station":"line-1","day":"2024-05-01","outcome":"ok","chips":118},)"
              R"({"station":"line-1","day":"2024-05-01","outcome":"verify-failed","chips":2},)"
              R"({"station":"line-two","day":"2024-05-02","outcome":"ok","chips":7}],)"
              R"("counters":[{"name":"serial-4FF0-le4","first":1000,"step":1,"next":1128,"used":125,)"
              R"("spoiled":2,"unsettled":1}]})");
}

TEST(RecordReport, HistoryAsTextAndJson)
{
    const SerialHistory history{
        1005, {{"serial-4FF0-le4", SerialState::Spoiled, "line-1", "2024-05-01T07:59:59.000Z"}}, {FailedChip()}};
    EXPECT_EQ(HistoryText(history),
              "serial 1005 of counter serial-4FF0-le4: spoiled, taken by line-1 at 2024-05-01T07:59:59.000Z\n"
              "2024-05-01T08:00:00.000Z  line-1  1-2.3  auto  FAILED verify-failed  checksum 1A2Bh  1.938 s  "
              "Verify Error !!!\nat \"0x0100\"\n");
    EXPECT_EQ(HistoryText({42, {}, {}}), "serial 42: not in the record\n");
    const nlohmann::ordered_json json = HistoryJson(history);
    EXPECT_EQ(json["numbers"][0]["state"], "spoiled");
    EXPECT_EQ(json["chips"][0], ChipJson(FailedChip()));
}

}  // namespace
}  // namespace zelv4
