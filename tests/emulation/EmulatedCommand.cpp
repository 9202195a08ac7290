#include "emulation/EmulatedCommand.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "emulation/EmulatedMachine.h"

extern char** environ;

namespace zelv4 {

namespace {

constexpr const char* PRELOAD_LIBRARY = "libumockdev-preload.so.0";
// ASan wants its runtime first in the library list; the preload library comes first.
constexpr const char* ASAN_LINK_ORDER = "verify_asan_link_order=0";
constexpr const char* REPORT_VARIABLE = "ZELV4_EXIT_REPORT";
// How often the scripted events are looked at while the command runs.
constexpr int POLL_MS = 2;

std::string Value(const std::string& entry)
{
    return entry.substr(entry.find('=') + 1);
}

}  // namespace

EmulatedCommand::EmulatedCommand(EmulatedMachine& machine)
    : m_machine(machine), m_report(machine.RootDir() + "/exit-report")
{}

// This process's environment, with the preload library, the probe and the testbed.
std::vector<std::string> EmulatedCommand::Environment() const
{
    std::string preload = std::string(PRELOAD_LIBRARY) + ":" + ZELV4_EXIT_PROBE;
    std::string asan = ASAN_LINK_ORDER;
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.starts_with("LD_PRELOAD=")) {
            for (std::size_t at = 11; at < text.size();) {
                const std::size_t end = std::min(text.find_first_of(": ", at), text.size());
                const std::string library = text.substr(at, end - at);
                if (!library.empty() && library.find(PRELOAD_LIBRARY) == std::string::npos)
                    preload += ":" + library;
                at = end + 1;
            }
        } else if (text.starts_with("ASAN_OPTIONS=")) {
            if (text.find("verify_asan_link_order") != std::string::npos)
                asan = Value(text);
            else if (text.size() > 13)
                asan = Value(text) + ":" + asan;
        } else if (!text.starts_with("UMOCKDEV_DIR=") && !text.starts_with(std::string(REPORT_VARIABLE) + "=")) {
            env.push_back(text);
        }
    }
    env.push_back("LD_PRELOAD=" + preload);
    env.push_back("ASAN_OPTIONS=" + asan);
    env.push_back("UMOCKDEV_DIR=" + m_machine.RootDir());
    env.push_back(std::string(REPORT_VARIABLE) + "=" + m_report);
    return env;
}

int EmulatedCommand::Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    std::vector<std::string> env = Environment();
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::remove(m_report.c_str());
    m_exitReports = 0;
    m_hidrawOpenAtExit = 0;
    m_reportLines.clear();
    pid_t pid = 0;
    const int spawned =
        args.size() > 1 ? posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) : EINVAL;
    if (spawned != 0) {
        std::fprintf(stderr, "emulated-machine: cannot start %s: %s\n", args[0] ? args[0] : "(nothing)",
                     std::strerror(spawned));
        return m_exitCode = EXIT_NOT_STARTED;
    }
    const auto start = std::chrono::steady_clock::now();
    bool killed = false;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            std::fprintf(stderr, "emulated-machine: waitpid: %s\n", std::strerror(errno));
            return m_exitCode = EXIT_TOOL_FAILED;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (timeout.count() > 0 && elapsed > timeout && !killed) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        m_machine.Poll(elapsed);
        ::poll(nullptr, 0, POLL_MS);
    }
    ReadExitReport();
    if (killed)
        return m_exitCode = EXIT_TIMED_OUT;
    if (WIFEXITED(status))
        return m_exitCode = WEXITSTATUS(status);
    return m_exitCode = EXIT_SIGNAL_BASE + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// One line per process that exited: "pid=N open=K" and the nodes.
void EmulatedCommand::ReadExitReport()
{
    std::ifstream report(m_report);
    for (std::string line; std::getline(report, line);) {
        const std::size_t at = line.find(" open=");
        if (at == std::string::npos)
            continue;
        ++m_exitReports;
        m_reportLines.push_back(line);
        m_hidrawOpenAtExit += static_cast<unsigned>(std::strtoul(line.c_str() + at + 6, nullptr, 10));
    }
}

std::string EmulatedCommand::Summary() const
{
    std::string text;
    for (const std::string& line : m_reportLines)
        text += "exited: " + line + "\n";
    return text + "exit-reports: " + std::to_string(m_exitReports) + "\n" +
           "hidraw-open-at-exit: " + std::to_string(m_hidrawOpenAtExit) + "\n" +
           "exit-code: " + std::to_string(m_exitCode) + "\n";
}

}  // namespace zelv4
