#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zelv4 {

enum class MessageIcon { None, Information, Error };

struct FileDialogOptions {
    std::string defaultExtension;  // as the dialog is given it, e.g. "*.dmp"; empty for none
    std::string filter;            // "Text (*.x)|*.x|All Files (*.*)|*.*||" form
    bool overwritePrompt = false;
    bool ownedByWindow = false;
    std::size_t maxPathLength = 0;  // 0: no limit of the caller's own

    // What a dialog appends to a name typed without an extension: "*.dmp", ".dmp"
    // and "dmp" give "dmp"; "", "*.*" and any other wildcard give none ("*.dmp"
    // itself would make "a.*.dmp").
    std::string DefaultExtension() const;
};

// What the operations use of the main window. The window renders; the operations
// decide. A command-line front end implements the same services for a terminal.
class WindowServices {
public:
    virtual ~WindowServices() = default;

    virtual void ShowFields() = 0;     // members into controls
    virtual void CollectFields() = 0;  // controls into members
    virtual void DisableButtons() = 0;
    virtual void EnableButtons() = 0;

    // Modal box with OK and the application's name as caption.
    virtual void MessageBox(const std::string& text, MessageIcon icon) = 0;
    // Modal box owned by the main window itself, with the caption given.
    virtual void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;

    // Empty when the user cancels.
    virtual std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) = 0;
};

}  // namespace zelv4
