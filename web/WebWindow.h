#pragma once

#include <optional>
#include <string>

#include "core/DialogFields.h"
#include "core/ProgressSink.h"
#include "core/WindowServices.h"

namespace zelv4 {

// The main window's services, rendered by the page: the controls are elements
// whose ids are the control names, a message box is a <dialog role="alertdialog">
// that the operation waits on until OK, and the progress bar shows the blocks.
class WebWindow : public WindowServices, public ProgressSink {
public:
    explicit WebWindow(DialogFields& fields) : m_fields(fields) {}

    // What the page's file input chose before Open File runs: the name the file
    // was stored under, or nothing when the choice was cancelled.
    void SetOpenFileChoice(std::optional<std::string> name) { m_openChoice = std::move(name); }

    void ShowFields() override;
    void CollectFields() override;
    void DisableButtons() override;
    void EnableButtons() override;

    void MessageBox(const std::string& text, MessageIcon icon) override;
    void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;

    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) override;
    // A page saves by download: the browser decides where, so the name is all
    // there is to choose.
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) override;

    // Ends early when a loader arrives, so that Auto's wait goes on at once.

    void OnProgress(const ProgressEvent& event) override;
    void OnPhaseEnd(OperationPhase phase, bool succeeded) override;

private:
    DialogFields& m_fields;
    std::optional<std::string> m_openChoice;
};

}  // namespace zelv4
