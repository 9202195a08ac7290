#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/output/OutputSink.h"
#include "cli/run/ChipRun.h"
#include "cli/run/DeviceOperation.h"

namespace zelv4 {

class ChipLog;
class DevicePlatform;
class HidChangeMonitor;

struct StationOptions {
    OperationRequest request;  // the operation and the image for every chip
    // How each chip's worker runs it (its Ctrl-C, the per-chip hooks); Auto's waits
    // are the station's to end.
    ChipRunSettings chip;
    std::string operationName;  // "auto", "write", "verify"
    std::optional<std::uint16_t> checksum;
    // Stop after this many chips; none: until asked to stop.
    std::optional<unsigned> count;
    // --port / --device: only these interfaces; empty: all.
    std::function<bool(const std::string& path)> selection;
    std::function<bool()> stopRequested;
    ChipLog* log = nullptr;  // may be null
};

// watch: programs every ISP device as it appears, each on its own thread. A chip
// stays done (passed, failed or skipped) until its node goes away; a device another
// program holds as it arrives is skipped: left alone until it is replugged. A chip
// in a socket whose chip failed is a retry of that one. Appearances come from the
// platform's change monitor.
class ProductionStation {
public:
    // Says a line per chip, and what a failed one explains, to `output` as it happens.
    ProductionStation(DevicePlatform& platform, OutputSink& output, StationOptions options);
    ~ProductionStation();
    ProductionStation(const ProductionStation&) = delete;
    ProductionStation& operator=(const ProductionStation&) = delete;

    // Runs until asked to stop, the count is reached or the log or the record fails; the chips
    // in progress then finish. Returns the exit code: 0 only when every chip passed.
    int Run();

    unsigned Passed() const { return m_passed; }
    unsigned Failed() const { return m_failed; }
    // Chips another program held as they arrived, left alone.
    unsigned Skipped() const { return m_skipped; }
    // Chips abandoned by a second Ctrl-C.
    unsigned Interrupted() const { return m_interrupted; }
    // Chips tried again after they failed (in the same socket), each counted once.
    unsigned Retried() const { return m_retried; }
    // Chips the station worked on, as --count counts them: a retry is no new chip,
    // a skipped one was not worked on.
    unsigned Programmed() const { return m_passed + m_failed + m_interrupted; }
    // "2 passed, 1 failed" (or "passed 2, failed 1"), and the interrupted, retried
    // and skipped chips when there are any.
    std::string CountsText(bool countFirst) const;
    // One object per chip, as the log has them.
    const nlohmann::ordered_json& Chips() const { return m_chips; }
    bool LogFailed() const { return m_logFailed; }
    // A chip's row could not be written to the production record.
    bool RecordFailed() const { return m_recordFailed; }
    // The serial numbers of the chips that failed, in the order they ended.
    const std::vector<std::uint64_t>& SpoiledSerials() const { return m_spoiled; }

private:
    struct Slot {
        bool running = false;
        bool removed = false;    // went away while its worker ran
        bool replugged = false;  // and a device took its node again meanwhile
        std::thread worker;
    };

    bool HasRoom() const;
    void Consider(const std::string& path);
    void Start(const std::string& path);
    void Removed(const std::string& path);
    void Collect();
    void Report(ChipRun run);
    bool StopAsked() const;

    DevicePlatform& m_platform;
    OutputSink& m_output;
    StationOptions m_options;
    // An interface worth a worker (when the system knows no ids, the worker's
    // search tells).
    std::function<bool(const std::string& path)> m_candidate;
    std::unique_ptr<HidChangeMonitor> m_monitor;

    std::map<std::string, Slot> m_slots;
    std::vector<std::string> m_waiting;  // candidates past the count, in order
    unsigned m_running = 0;
    std::atomic<bool> m_stopping{false};

    std::mutex m_doneMutex;
    std::deque<ChipRun> m_done;

    unsigned m_passed = 0;
    unsigned m_failed = 0;
    unsigned m_skipped = 0;
    unsigned m_interrupted = 0;
    unsigned m_retried = 0;
    // Sockets (ports, or nodes when the port is unknown) whose last chip failed, with
    // the index of its exit code, which a retry there replaces.
    std::map<std::string, std::size_t> m_failedSockets;
    std::vector<int> m_codes;
    nlohmann::ordered_json m_chips = nlohmann::ordered_json::array();
    bool m_logFailed = false;
    bool m_recordFailed = false;
    std::vector<std::uint64_t> m_spoiled;
};

}  // namespace zelv4
