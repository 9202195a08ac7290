#include "cli/CliWindow.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "device/HidChangeMonitor.h"

namespace zelv4 {

namespace {

// How often a wait looks whether it was asked to stop.
constexpr std::chrono::milliseconds STOP_CHECK{100};

}  // namespace

std::string AsLine(const std::string& text)
{
    const std::size_t end = text.find_last_not_of(" \r\n");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

CliWindow::CliWindow(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

void CliWindow::SetDialogAnswer(std::optional<std::string> path)
{
    m_dialogAnswer = std::move(path);
}

void CliWindow::SetSleep(std::function<void(unsigned milliseconds)> sleep)
{
    m_sleep = std::move(sleep);
}

void CliWindow::SetStopRequest(std::function<bool()> stop)
{
    m_stop = std::move(stop);
}

void CliWindow::MessageBox(const std::string& text, MessageIcon icon)
{
    std::ostream& stream = icon == MessageIcon::Information ? m_out : m_err;
    stream << AsLine(text) << "\n";
    stream.flush();
}

void CliWindow::WindowMessageBox(const std::string& text, const std::string& /*caption*/, MessageIcon icon)
{
    MessageBox(text, icon);
}

std::optional<std::string> CliWindow::RunOpenFileDialog(const FileDialogOptions& /*options*/)
{
    return m_dialogAnswer;
}

std::optional<std::string> CliWindow::RunSaveFileDialog(const FileDialogOptions& /*options*/)
{
    return m_dialogAnswer;
}

void CliWindow::WaitForArrivals(HidChangeMonitor* monitor, std::function<bool(const std::string& path)> wanted)
{
    m_monitor = monitor;
    m_wanted = std::move(wanted);
    m_due.reset();
}

void CliWindow::Sleep(unsigned milliseconds)
{
    if (m_sleep) {
        m_sleep(milliseconds);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    // Without a monitor the waits keep no schedule of their own.
    m_due = (m_monitor != nullptr ? std::max(now, m_due.value_or(now)) : now) + std::chrono::milliseconds(milliseconds);
    for (auto left = *m_due - now; left.count() > 0 && !(m_stop && m_stop());
         left = *m_due - std::chrono::steady_clock::now()) {
        const auto slice = std::min(std::chrono::ceil<std::chrono::milliseconds>(left), STOP_CHECK);
        if (m_monitor == nullptr) {
            std::this_thread::sleep_for(slice);
            continue;
        }
        for (const HidChange& change : m_monitor->Wait(slice))
            if (change.kind == HidChange::Kind::Added && (!m_wanted || m_wanted(change.path)))
                return;
    }
}

}  // namespace zelv4
