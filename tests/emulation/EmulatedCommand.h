#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace zelv4 {

class EmulatedMachine;

// Runs a command inside an emulated machine: with umockdev's preload library and
// the testbed, so that it sees the machine's sysfs and /dev, and with a probe that
// reports, when one of its processes exits normally, the hidraw nodes it still had
// open. Carries out the machine's scripted events while the command runs.
class EmulatedCommand {
public:
    static constexpr int EXIT_TIMED_OUT = 124;
    static constexpr int EXIT_TOOL_FAILED = 125;
    static constexpr int EXIT_NOT_STARTED = 127;
    static constexpr int EXIT_SIGNAL_BASE = 128;

    explicit EmulatedCommand(EmulatedMachine& machine);

    // Starts argv (looked up in PATH) and waits for it: its exit code, 128 + the
    // signal that ended it, EXIT_NOT_STARTED, or EXIT_TIMED_OUT once it was killed
    // after `timeout` (zero: no limit).
    int Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout = {});

    // Processes of the command that exited normally, and the hidraw nodes they
    // still had open then (0 when every program closed its device).
    unsigned ExitReports() const { return m_exitReports; }
    unsigned HidrawOpenAtExit() const { return m_hidrawOpenAtExit; }
    // Key: value lines.
    std::string Summary() const;

private:
    std::vector<std::string> Environment() const;
    void ReadExitReport();

    EmulatedMachine& m_machine;
    std::string m_report;
    std::vector<std::string> m_reportLines;
    unsigned m_exitReports = 0;
    unsigned m_hidrawOpenAtExit = 0;
    int m_exitCode = -1;
};

}  // namespace zelv4
