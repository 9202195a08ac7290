#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "core/WindowServices.h"

namespace zelv4 {

class HidChangeMonitor;

// A message as a terminal line: without the trailing spaces and line breaks some
// texts carry (the device search's plain box text ends in " \n").
std::string AsLine(const std::string& text);

// The window's services on a terminal: a message box becomes a line (information on
// stdout, errors and the plain box on stderr), a file dialog answers with the path
// the command was given, and the window's fields and buttons have nothing to show.
class CliWindow : public WindowServices {
public:
    CliWindow(std::ostream& out, std::ostream& err);

    // What both file dialogs answer; none: as if the user cancelled.
    void SetDialogAnswer(std::optional<std::string> path);
    // Replaces the real sleep (Auto's one-second waits); null: really sleep.
    void SetSleep(std::function<void(unsigned milliseconds)> sleep);
    // Real waits end early once this says stop; null: never.
    void SetStopRequest(std::function<bool()> stop);
    // Auto's waits end as soon as `monitor` tells of an interface that `wanted`
    // accepts, so that the next search finds the chip within milliseconds of its
    // appearance. The waits keep their schedule: each ends one wait's length after
    // the one before was due, so the whole wait lasts as long as before. The
    // monitor must outlive the window; null: plain waits.
    void WaitForArrivals(HidChangeMonitor* monitor, std::function<bool(const std::string& path)> wanted);

    void ShowFields() override {}
    void CollectFields() override {}
    void DisableButtons() override {}
    void EnableButtons() override {}

    void MessageBox(const std::string& text, MessageIcon icon) override;
    void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;

    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) override;

    void Sleep(unsigned milliseconds) override;

private:
    std::ostream& m_out;
    std::ostream& m_err;
    std::optional<std::string> m_dialogAnswer;
    std::function<void(unsigned)> m_sleep;
    std::function<bool()> m_stop;
    HidChangeMonitor* m_monitor = nullptr;
    std::function<bool(const std::string&)> m_wanted;
    std::optional<std::chrono::steady_clock::time_point> m_due;
};

}  // namespace zelv4
