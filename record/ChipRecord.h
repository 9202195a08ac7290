#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelv4 {

// One chip and one operation on it, as the record keeps it.
struct ChipRecord {
    std::int64_t id = 0;    // given by the record; AddChip ignores it
    std::string startedAt;  // ISO-8601 UTC, as UtcTimeText writes it
    std::string endedAt;
    std::string station;              // --station, by default the host name
    std::optional<std::string> port;  // the USB port path, when the platform tells it
    std::string devicePath;
    std::string operation;  // "write", "verify", "auto", "read"...
    std::optional<std::string> firmwarePath;
    std::optional<std::uint16_t> fileChecksum;  // of the firmware file, as the window shows it
    std::optional<std::string> serialCounter;   // with serial: the counter it came from
    std::optional<std::uint64_t> serial;
    std::optional<std::uint16_t> chipChecksum;  // of what the chip was given (the file with its serial)
    std::string outcome;                        // the --json outcome, e.g. "ok", "verify-failed"
    int exitCode = 0;                           // 0: the chip passed
    std::string message;
    double seconds = 0;

    bool operator==(const ChipRecord&) const = default;
};

// A named serial range.
struct SerialCounter {
    std::string name;
    std::uint64_t first = 1;
    std::uint64_t step = 1;
    std::uint64_t next = 1;  // the number the next chip gets
};

// What became of the numbers a counter handed out.
struct CounterStatus {
    SerialCounter counter;
    std::uint64_t used = 0;       // on a chip that passed
    std::uint64_t spoiled = 0;    // on a chip that failed, or given up
    std::uint64_t unsettled = 0;  // handed out, no chip recorded yet (in progress, or a station lost)
};

struct SummaryCount {
    std::string station;
    std::string day;  // UTC, YYYY-MM-DD
    std::string outcome;
    std::uint64_t chips = 0;
};

struct RecordSummary {
    std::vector<SummaryCount> counts;  // by day, station, outcome
    std::vector<CounterStatus> counters;
};

// A number as a counter handed it out.
enum class SerialState { Taken, Used, Spoiled };

struct SerialNumberState {
    std::string counter;
    SerialState state = SerialState::Taken;
    std::string station;  // that took it
    std::string takenAt;
};

// `record find SERIAL`: the number in each counter that gave it, and every chip row with it.
struct SerialHistory {
    std::uint64_t serial = 0;
    std::vector<SerialNumberState> numbers;
    std::vector<ChipRecord> chips;
};

}  // namespace zelv4
