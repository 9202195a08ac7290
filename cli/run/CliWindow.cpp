#include "cli/run/CliWindow.h"

namespace zelv4 {

std::string AsLine(const std::string& text)
{
    const std::size_t end = text.find_last_not_of(" \r\n");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

CliWindow::CliWindow(OutputSink& output, OutputStream information) : m_output(output), m_information(information) {}

void CliWindow::SetDialogAnswer(std::optional<std::string> path)
{
    m_dialogAnswer = std::move(path);
}

void CliWindow::MessageBox(const std::string& text, MessageIcon icon)
{
    m_output.Write(icon == MessageIcon::Information ? m_information : OutputStream::Err, AsLine(text) + "\n");
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

}  // namespace zelv4
