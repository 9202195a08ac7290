#include "cli/run/ProductionStation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "cli/ExitCodes.h"
#include "cli/output/ChipLog.h"
#include "cli/output/ChipRunText.h"
#include "core/FirmwareImage.h"
#include "core/IspConstants.h"
#include "device/DevicePlatform.h"
#include "device/HidChangeMonitor.h"
#include "device/HidPlatform.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

namespace {

// How long the station waits for a change before it looks at Ctrl-C again.
constexpr std::chrono::milliseconds STOP_CHECK{100};

bool HeldElsewhere(const ChipRun& run)
{
    return !run.result.deviceFound && !run.result.busyPaths.empty();
}

std::string TimeText(std::time_t now, bool utc, const char* format)
{
    // Only the station's own thread formats times.
    const std::tm* parts = utc ? std::gmtime(&now) : std::localtime(&now);
    char text[64] = "";
    if (parts != nullptr)
        std::strftime(text, sizeof text, format, parts);
    return text;
}

}  // namespace

ProductionStation::ProductionStation(DevicePlatform& platform, OutputSink& output, StationOptions options)
    : m_platform(platform), m_output(output), m_options(std::move(options)),
      m_candidate(IspCandidates(platform.Hid(), m_options.selection))
{
    // A worker waiting for its chip gives up as soon as the station stops.
    m_options.chip.waitCutShort = [this] { return m_stopping.load(); };
}

ProductionStation::~ProductionStation()
{
    m_stopping = true;
    for (auto& [path, slot] : m_slots)
        if (slot.worker.joinable())
            slot.worker.join();
}

bool ProductionStation::StopAsked() const
{
    return m_options.stopRequested && m_options.stopRequested();
}

bool ProductionStation::HasRoom() const
{
    return !m_options.count || Programmed() + m_running < *m_options.count;
}

std::string ProductionStation::CountsText(bool countFirst) const
{
    std::string text;
    const auto add = [&](const char* name, unsigned count, bool always) {
        if (count == 0 && !always)
            return;
        text += text.empty() ? "" : ", ";
        text += countFirst ? std::to_string(count) + " " + name : std::string(name) + " " + std::to_string(count);
    };
    add("passed", m_passed, true);
    add("failed", m_failed, true);
    add("interrupted", m_interrupted, false);
    add("retried", m_retried, false);
    add("skipped", m_skipped, false);
    return text;
}

void ProductionStation::Consider(const std::string& path)
{
    if (m_stopping)
        return;
    if (const auto it = m_slots.find(path); it != m_slots.end()) {
        // The node's old chip went away while its worker ran, and a new one took
        // the node: it is programmed once the worker is done.
        if (it->second.running && it->second.removed)
            it->second.replugged = true;
        return;
    }
    if (!m_candidate(path))
        return;
    if (!HasRoom()) {
        if (std::find(m_waiting.begin(), m_waiting.end(), path) == m_waiting.end())
            m_waiting.push_back(path);
        return;
    }
    Start(path);
}

void ProductionStation::Start(const std::string& path)
{
    Slot& slot = m_slots[path];
    slot.running = true;
    slot.removed = false;
    ++m_running;
    const std::string port = m_platform.Hid().PortPath(path).value_or(std::string());
    // A chip another program holds is that program's: the station takes it neither
    // now nor later (only programs that send requests hold chips, never a listing).
    slot.worker = std::thread([this, path, port] {
        ChipRun run = RunOnChip(m_platform, m_options.request, path, port, m_options.chip);
        {
            std::lock_guard lock(m_doneMutex);
            m_done.push_back(std::move(run));
        }
        m_monitor->Wake();
    });
}

void ProductionStation::Removed(const std::string& path)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), path), m_waiting.end());
    const auto it = m_slots.find(path);
    if (it == m_slots.end())
        return;
    // A chip that went away may come back, or another take its node: it is new.
    if (it->second.running) {
        it->second.removed = true;
        return;
    }
    if (it->second.worker.joinable())
        it->second.worker.join();
    m_slots.erase(it);
}

void ProductionStation::Collect()
{
    std::deque<ChipRun> done;
    {
        std::lock_guard lock(m_doneMutex);
        done.swap(m_done);
    }
    for (ChipRun& run : done) {
        const std::string path = run.path;
        Slot& slot = m_slots[path];
        slot.worker.join();
        slot.running = false;
        --m_running;
        Report(std::move(run));
        const bool replugged = slot.replugged;
        if (slot.removed)
            m_slots.erase(path);
        if (replugged)
            Consider(path);
    }
    while (!m_stopping && HasRoom() && !m_waiting.empty()) {
        const std::string path = m_waiting.front();
        m_waiting.erase(m_waiting.begin());
        Consider(path);
    }
}

void ProductionStation::Report(ChipRun run)
{
    const OperationResult& result = run.result;
    const std::string port = run.port.empty() ? std::string("-") : run.port;
    // Not a chip of ours after all, or gone before its search: nothing to report. An
    // interface the system still names as the ISP device that the search could not
    // use is a chip left unprogrammed, and fails.
    if (!result.deviceFound && result.deniedPaths.empty() && result.busyPaths.empty() &&
        (result.outcome == OperationOutcome::NoDevice || result.outcome == OperationOutcome::TimedOut)) {
        const std::optional<HidAttributes> ids = m_platform.Hid().PeekAttributes(run.path);
        if (!ids || !IsIspDeviceId(ids->VendorID, ids->ProductID))
            return;
    }
    const bool held = HeldElsewhere(run);
    const bool passed = run.exitCode == EXIT_OK;
    const bool interrupted = result.outcome == OperationOutcome::Interrupted;
    // The next chip in a socket whose chip failed is taken for that chip, retried:
    // --count and the tally count chips, the log keeps every attempt.
    const std::string socket = run.port.empty() ? run.path : run.port;
    const auto failedHere = m_failedSockets.find(socket);
    const bool retry = !held && failedHere != m_failedSockets.end();
    std::size_t code = m_codes.size();
    if (retry) {
        --m_failed;
        ++m_retried;
        code = failedHere->second;
        m_codes[code] = run.exitCode;
        m_failedSockets.erase(failedHere);
    } else {
        m_codes.push_back(run.exitCode);
    }
    if (!held && !passed && !interrupted)
        m_failedSockets[socket] = code;
    (held ? m_skipped : interrupted ? m_interrupted : passed ? m_passed : m_failed) += 1;
    const std::optional<std::uint16_t> checksum = result.checksum ? result.checksum : m_options.checksum;
    const std::time_t now = std::time(nullptr);
    const std::string checksumText = checksum ? ChecksumText(*checksum) : std::string("-");
    const std::string& message = run.message;
    const std::string verdict = (held     ? std::string("skipped")
                                 : passed ? std::string("passed")
                                          : "FAILED " + run.outcome) +
                                (retry ? " (retry)" : "");

    m_output.Write(OutputStream::Out,
                   TimeText(now, false, "%Y-%m-%d %H:%M:%S") + "  " + port + "  " + run.path + "  checksum " +
                       checksumText + (run.serial ? "  serial " + std::to_string(*run.serial) : std::string()) + "  " +
                       verdict + "  " + SecondsText(run.seconds) + "  " + message + "  [" + CountsText(false) + "]\n");
    if (!passed && !held)
        if (const std::string explanation = ExplanationText(run); !explanation.empty())
            m_output.Write(OutputStream::Err, explanation);

    // Keys in reading order, as a person scanning the log wants them.
    nlohmann::ordered_json chip = {
        {"time", TimeText(now, true, "%Y-%m-%dT%H:%M:%SZ")},
        {"port", run.port.empty() ? nlohmann::json(nullptr) : nlohmann::json(run.port)},
        {"device_path", run.path},
        {"operation", m_options.operationName},
        {"image_path", m_options.request.imagePath},
        {"checksum", checksum ? nlohmann::json(*checksum) : nlohmann::json(nullptr)},
        {"checksum_text", checksumText},
        {"outcome", run.outcome},
        {"ok", passed},
        {"exit_code", run.exitCode},
        {"seconds", run.seconds},
        {"message", message},
        {"passed", m_passed},
        {"failed", m_failed},
        {"skipped", m_skipped},
        {"interrupted", m_interrupted},
        {"retry", retry},
    };
    if (result.failingBlock)
        chip["failing_block"] = *result.failingBlock;
    if (run.serial) {
        chip["serial"] = *run.serial;
        if (!passed && !run.recordFailed)
            m_spoiled.push_back(*run.serial);
    }
    m_chips.push_back(chip);
    const std::string line = chip.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    if (m_options.log != nullptr && !m_logFailed) {
        if (const Expected<void> logged = m_options.log->Append(line); !logged) {
            // Never silently: the chip is reported here, and no new chip is started
            // that the log would not record.
            m_output.Write(OutputStream::Err,
                           logged.error().message + "; stopping: chips in progress finish, no new chip is started\n");
            m_logFailed = true;
            m_stopping = true;
        }
    }
    // As for the log: no chip is programmed that the record would not keep.
    if (run.recordFailed && !m_recordFailed) {
        m_output.Write(OutputStream::Err,
                       "stopping: the record failed; chips in progress finish, no new chip is started\n");
        m_recordFailed = true;
        m_stopping = true;
    }
}

int ProductionStation::Run()
{
    // Made before the first listing, so that nothing appears unseen in between.
    m_monitor = m_platform.Hid().MonitorChanges();
    {
        const std::unique_ptr<HidInterfaceList> list = m_platform.Hid().GetClassDevices();
        for (unsigned index = 0; list && list->EnumInterface(index); ++index)
            if (const std::optional<std::string> path = list->InterfacePath(index))
                Consider(*path);
    }
    while (!m_stopping) {
        if (StopAsked()) {
            m_stopping = true;
            // Said at once: the operator knows what the station still waits for.
            if (m_running > 0)
                m_output.Write(OutputStream::Out, "stopping: " + std::to_string(m_running) +
                                                      (m_running == 1 ? " chip" : " chips") +
                                                      " in progress will finish\n");
            break;
        }
        for (const HidChange& change : m_monitor->Wait(STOP_CHECK)) {
            if (change.kind == HidChange::Kind::Removed)
                Removed(change.path);
            else
                Consider(change.path);
        }
        Collect();
        if (m_options.count && Programmed() >= *m_options.count)
            m_stopping = true;
    }
    // The chips in progress finish and are reported.
    while (m_running > 0) {
        for (const HidChange& change : m_monitor->Wait(STOP_CHECK))
            if (change.kind == HidChange::Kind::Removed)
                Removed(change.path);
        Collect();
    }
    if (m_logFailed)
        m_codes.push_back(EXIT_FILE);
    return MostSeriousExitCode(m_codes);
}

}  // namespace zelv4
