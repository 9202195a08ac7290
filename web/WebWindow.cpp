#include "web/WebWindow.h"

#include <cstdlib>
#include <emscripten.h>
#include <utility>

EM_JS(void, zelv4_show_field, (const char* control, const char* text),
      { Module.page.showField(UTF8ToString(control), UTF8ToString(text)); });

// A copy of the control's text, to be freed by the caller.
EM_JS(char*, zelv4_field_text, (const char* control), {
    const text = Module.page.fieldText(UTF8ToString(control));
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    return copy;
});

EM_JS(void, zelv4_set_buttons_enabled, (int enabled), { Module.page.setButtonsEnabled(enabled != 0); });

EM_ASYNC_JS(void, zelv4_message_box, (const char* text, const char* caption, int icon),
            { await Module.page.messageBox(UTF8ToString(text), UTF8ToString(caption), icon); });

EM_JS(void, zelv4_progress, (const char* phase, std::size_t done, std::size_t total, int ended),
      { Module.page.progress(UTF8ToString(phase), done, total, ended != 0); });

namespace zelv4 {

namespace {

// The native window's caption for the application's boxes is its program name.
constexpr const char* APPLICATION_NAME = "zelv4-writer";
constexpr const char* DUMP_FILE_NAME = "zelv4-flash";

constexpr const char* IDC_FILE = "IDC_FILE";
constexpr const char* IDC_CHIP = "IDC_CHIP";
constexpr const char* IDC_CHECKSUM = "IDC_CHECKSUM";

std::string FieldText(const char* control)
{
    char* copy = zelv4_field_text(control);
    std::string text(copy);
    std::free(copy);
    return text;
}

int IconCode(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return 1;
    case MessageIcon::Error:
        return 2;
    case MessageIcon::None:
        break;
    }
    return 0;
}

}  // namespace

void WebWindow::ShowFields()
{
    zelv4_show_field(IDC_FILE, m_fields.m_strFile.c_str());
    zelv4_show_field(IDC_CHIP, m_fields.m_strChip.c_str());
    zelv4_show_field(IDC_CHECKSUM, m_fields.m_strChecksum.c_str());
}

void WebWindow::CollectFields()
{
    m_fields.m_strFile = FieldText(IDC_FILE);
    m_fields.m_strChip = FieldText(IDC_CHIP);
    m_fields.m_strChecksum = FieldText(IDC_CHECKSUM);
}

void WebWindow::DisableButtons()
{
    zelv4_set_buttons_enabled(0);
}

void WebWindow::EnableButtons()
{
    zelv4_set_buttons_enabled(1);
}

void WebWindow::MessageBox(const std::string& text, MessageIcon icon)
{
    zelv4_message_box(text.c_str(), APPLICATION_NAME, IconCode(icon));
}

void WebWindow::WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon)
{
    zelv4_message_box(text.c_str(), caption.c_str(), IconCode(icon));
}

std::optional<std::string> WebWindow::RunOpenFileDialog(const FileDialogOptions& /*options*/)
{
    return std::exchange(m_openChoice, std::nullopt);
}

std::optional<std::string> WebWindow::RunSaveFileDialog(const FileDialogOptions& options)
{
    const std::string extension = options.DefaultExtension();
    return extension.empty() ? std::string(DUMP_FILE_NAME) : std::string(DUMP_FILE_NAME) + "." + extension;
}

void WebWindow::OnProgress(const ProgressEvent& event)
{
    if (const char* phase = DrawnPhaseName(event.phase))
        zelv4_progress(phase, event.done, event.total, 0);
}

// The outcome is the operation's message box and status line to tell.
void WebWindow::OnPhaseEnd(OperationPhase phase, bool /*succeeded*/)
{
    if (const char* name = DrawnPhaseName(phase))
        zelv4_progress(name, 0, 0, 1);
}

}  // namespace zelv4
