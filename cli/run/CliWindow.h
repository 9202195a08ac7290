#pragma once

#include <optional>
#include <string>

#include "cli/output/OutputSink.h"
#include "core/WindowServices.h"

namespace zelv4 {

// A message as a terminal line: without the trailing spaces and line breaks some
// texts carry (the device search's plain box text ends in " \n").
std::string AsLine(const std::string& text);

// The window's services on a terminal: a message box becomes a line (information on
// `information`, stdout unless that carries a dump; errors and the plain box on
// stderr), a file dialog answers with the path the command was given, and the
// window's fields and buttons have nothing to show.
class CliWindow : public WindowServices {
public:
    explicit CliWindow(OutputSink& output, OutputStream information = OutputStream::Out);

    // What both file dialogs answer; none: as if the user cancelled.
    void SetDialogAnswer(std::optional<std::string> path);

    void ShowFields() override {}
    void CollectFields() override {}
    void DisableButtons() override {}
    void EnableButtons() override {}

    void MessageBox(const std::string& text, MessageIcon icon) override;
    void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;

    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) override;

private:
    OutputSink& m_output;
    OutputStream m_information;
    std::optional<std::string> m_dialogAnswer;
};

}  // namespace zelv4
