#include "record/RecordFormat.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/FirmwareImage.h"

namespace zelv4 {

namespace {

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string ChecksumField(const std::optional<std::uint16_t>& checksum)
{
    return checksum ? Trimmed(ChecksumText(*checksum)) : std::string();
}

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// Columns padded to their widest cell, two blanks apart.
std::string Table(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - row[i].size() + 2, ' ') : "");
        text += line + "\n";
    }
    return text;
}

std::string CounterLine(const CounterStatus& status)
{
    const SerialCounter& c = status.counter;
    return "counter " + c.name + ": next " + std::to_string(c.next) + " (from " + std::to_string(c.first) + ", step " +
           std::to_string(c.step) + "): " + std::to_string(status.used) + " used, " + std::to_string(status.spoiled) +
           " spoiled, " + std::to_string(status.unsettled) + " unsettled\n";
}

}  // namespace

const char* SerialStateName(SerialState state)
{
    switch (state) {
    case SerialState::Used:
        return "used";
    case SerialState::Spoiled:
        return "spoiled";
    case SerialState::Taken:
        break;
    }
    return "unsettled";
}

std::string CsvField(std::string_view text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return std::string(text);
    std::string field = "\"";
    for (char c : text)
        field += c == '"' ? "\"\"" : std::string(1, c);
    return field + "\"";
}

std::string ChipCsvHeader()
{
    const nlohmann::ordered_json columns = ChipJson(ChipRecord());
    std::string header;
    for (const auto& [key, value] : columns.items())
        header += (header.empty() ? "" : ",") + key;
    return header;
}

std::string ChipCsvLine(const ChipRecord& chip)
{
    const std::array<std::string, 16> fields = {std::to_string(chip.id),
                                                chip.startedAt,
                                                chip.endedAt,
                                                chip.station,
                                                chip.port.value_or(""),
                                                chip.devicePath,
                                                chip.operation,
                                                chip.firmwarePath.value_or(""),
                                                ChecksumField(chip.fileChecksum),
                                                chip.serialCounter.value_or(""),
                                                chip.serial ? std::to_string(*chip.serial) : "",
                                                ChecksumField(chip.chipChecksum),
                                                chip.outcome,
                                                std::to_string(chip.exitCode),
                                                chip.message,
                                                SecondsText(chip.seconds)};
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i == 0 ? "" : ",") + CsvField(fields[i]);
    return line;
}

nlohmann::ordered_json ChipJson(const ChipRecord& chip)
{
    return {
        {"id", chip.id},
        {"started_at", chip.startedAt},
        {"ended_at", chip.endedAt},
        {"station", chip.station},
        {"port", OrNull(chip.port)},
        {"device_path", chip.devicePath},
        {"operation", chip.operation},
        {"firmware_path", OrNull(chip.firmwarePath)},
        {"file_checksum", OrNull(chip.fileChecksum)},
        {"serial_counter", OrNull(chip.serialCounter)},
        {"serial", OrNull(chip.serial)},
        {"chip_checksum", OrNull(chip.chipChecksum)},
        {"outcome", chip.outcome},
        {"exit_code", chip.exitCode},
        {"message", chip.message},
        {"seconds", chip.seconds},
    };
}

nlohmann::ordered_json SummaryJson(const RecordSummary& summary)
{
    nlohmann::ordered_json json = {{"counts", nlohmann::ordered_json::array()},
                                   {"counters", nlohmann::ordered_json::array()}};
    for (const SummaryCount& count : summary.counts)
        json["counts"].push_back(
            {{"station", count.station}, {"day", count.day}, {"outcome", count.outcome}, {"chips", count.chips}});
    for (const CounterStatus& status : summary.counters)
        json["counters"].push_back({{"name", status.counter.name},
                                    {"first", status.counter.first},
                                    {"step", status.counter.step},
                                    {"next", status.counter.next},
                                    {"used", status.used},
                                    {"spoiled", status.spoiled},
                                    {"unsettled", status.unsettled}});
    return json;
}

nlohmann::ordered_json HistoryJson(const SerialHistory& history)
{
    nlohmann::ordered_json json = {{"serial", history.serial},
                                   {"numbers", nlohmann::ordered_json::array()},
                                   {"chips", nlohmann::ordered_json::array()}};
    for (const SerialNumberState& number : history.numbers)
        json["numbers"].push_back({{"counter", number.counter},
                                   {"state", SerialStateName(number.state)},
                                   {"station", number.station},
                                   {"taken_at", number.takenAt}});
    for (const ChipRecord& chip : history.chips)
        json["chips"].push_back(ChipJson(chip));
    return json;
}

std::string SummaryText(const RecordSummary& summary)
{
    std::string text;
    if (summary.counts.empty()) {
        text = "no chips recorded\n";
    } else {
        std::vector<std::vector<std::string>> rows = {{"day", "station", "outcome", "chips"}};
        for (const SummaryCount& count : summary.counts)
            rows.push_back({count.day, count.station, count.outcome, std::to_string(count.chips)});
        text = Table(rows);
    }
    for (const CounterStatus& status : summary.counters)
        text += CounterLine(status);
    return text;
}

std::string HistoryText(const SerialHistory& history)
{
    const std::string serial = std::to_string(history.serial);
    if (history.numbers.empty() && history.chips.empty())
        return "serial " + serial + ": not in the record\n";
    std::string text;
    for (const SerialNumberState& number : history.numbers)
        text += "serial " + serial + " of counter " + number.counter + ": " + SerialStateName(number.state) +
                ", taken by " + number.station + " at " + number.takenAt + "\n";
    std::vector<std::vector<std::string>> rows;
    for (const ChipRecord& chip : history.chips)
        rows.push_back({chip.startedAt, chip.station, chip.port.value_or("-"), chip.operation,
                        chip.exitCode == 0 ? "passed" : "FAILED " + chip.outcome,
                        "checksum " + (chip.chipChecksum ? ChecksumField(chip.chipChecksum) : std::string("-")),
                        SecondsText(chip.seconds) + " s", chip.message});
    return text + Table(rows);
}

}  // namespace zelv4
