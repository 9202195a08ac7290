#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "record/ChipRecord.h"

namespace zelv4 {

// How `record` shows what it read: text for people, JSON objects (whose keys are the
// CSV columns' names) and CSV for programs. Pure: no output, no record.

// One CSV field: quoted when it holds a comma, a quote, a line end or edge blanks, with
// quotes doubled (RFC 4180).
std::string CsvField(std::string_view text);
// The column names, then each chip's line; both without the line end.
std::string ChipCsvHeader();
std::string ChipCsvLine(const ChipRecord& chip);

nlohmann::ordered_json ChipJson(const ChipRecord& chip);
nlohmann::ordered_json SummaryJson(const RecordSummary& summary);
nlohmann::ordered_json HistoryJson(const SerialHistory& history);

// Lines ending in '\n'.
std::string SummaryText(const RecordSummary& summary);
std::string HistoryText(const SerialHistory& history);

const char* SerialStateName(SerialState state);

}  // namespace zelv4
