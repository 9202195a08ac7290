#include "cli/CliWindow.h"

namespace zelv4 {

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

}  // namespace zelv4
