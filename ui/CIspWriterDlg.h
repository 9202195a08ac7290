#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/DialogFields.h"
#include "core/IspDevicePort.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "core/UsbBusPort.h"
#include "core/WindowServices.h"
#include "sys/ReplacingFile.h"
#include "ui/DialogUnits.h"

class QComboBox;
class QFileDialog;
class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zelv4 {

// Control ids.
inline constexpr int IDC_MASS_ERASE = 1000;
inline constexpr int IDC_WRITE = 1001;
inline constexpr int IDC_READ = 1002;
inline constexpr int IDC_VERIFY = 1003;
inline constexpr int IDC_RECONNECT = 1005;
inline constexpr int IDC_CHECKSUM = 1008;
inline constexpr int IDC_CHIP = 1009;
inline constexpr int IDC_FILE = 1010;
inline constexpr int IDC_OPEN_FILE = 1011;
inline constexpr int IDC_AUTO = 1012;
inline constexpr int IDC_READ_PROTECT = 1014;
inline constexpr int IDC_EXIT_ISP = 1015;
inline constexpr int IDC_PROGRESS = 1017;

// The main window: the path and checksum fields, the operation buttons and the two
// report buffers. The click handlers run the operations on this one thread.
class CIspWriterDlg : public QDialog, public WindowServices, public DialogFields {
    Q_OBJECT

public:
    // A message box about to be shown. caption is the application's name, or the
    // caption given for the window's own box.
    struct MessageRequest {
        std::string text;
        std::string caption;
        MessageIcon icon = MessageIcon::None;
        bool windowBox = false;  // the window's own MessageBox rather than the application's
    };
    enum class FileDialogKind { Open, Save };

    // Stand-ins for the modal parts, so that tests need no modal loop. Unset: the
    // real boxes and dialogs.
    using MessageBoxHook = std::function<void(const MessageRequest&)>;
    using FileDialogHook = std::function<std::optional<std::string>(FileDialogKind, const FileDialogOptions&)>;

    // The device and the bus must outlive the window.
    CIspWriterDlg(IspDevicePort& device, UsbBusPort& bus, QWidget* parent = nullptr);
    ~CIspWriterDlg() override;

    void SetMessageBoxHook(MessageBoxHook hook) { m_messageBoxHook = std::move(hook); }
    void SetFileDialogHook(FileDialogHook hook) { m_fileDialogHook = std::move(hook); }

    // The executable's file name without its extension: the caption of every
    // application message box.
    static QString ApplicationName();
    // "新細明體", 9 points, with its substitution installed.
    static QFont DialogFont();

    const DialogUnits& Units() const { return m_units; }
    // The control with that id, or null.
    QWidget* Control(int id) const;

    // The real dialogs and boxes, configured but not yet run.
    std::unique_ptr<QFileDialog> CreateFileDialog(FileDialogKind kind, const FileDialogOptions& options);
    std::unique_ptr<QMessageBox> CreateMessageBox(const MessageRequest& request);

    // WindowServices
    void ShowFields() override;
    void CollectFields() override;
    void DisableButtons() override;
    void EnableButtons() override;
    void MessageBox(const std::string& text, MessageIcon icon) override;
    void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) override;

    QIcon m_hIcon;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void OnOpenFile();
    void OnAuto();
    void OnReconnect();
    void OnMassErase();
    void OnWrite();
    void OnVerify();
    void OnRead();
    void OnReadProtect();
    void OnExitIsp();

private:
    void CreateControls();
    QPushButton* AddButton(int id, const char* text, int x, int y, int width, int height,
                           void (CIspWriterDlg::*handler)());
    QLabel* AddStatic(int id, const QString& text, int x, int y, int width, int height);
    void Register(int id, QWidget* control);
    void OnInitDialog();
    void ShowMessage(const MessageRequest& request);
    std::optional<std::string> RunFileDialog(FileDialogKind kind, const FileDialogOptions& options);
    void SetButtonsEnabled(bool enabled);

    DialogUnits m_units;
    IspReportBuffers m_reports;
    SystemOutputFiles m_files;
    IspOperations m_operations;

    QComboBox* m_chip = nullptr;
    QLabel* m_checksum = nullptr;
    QPlainTextEdit* m_file = nullptr;
    QProgressBar* m_progress = nullptr;
    std::map<int, QWidget*> m_controls;

    MessageBoxHook m_messageBoxHook;
    FileDialogHook m_fileDialogHook;
};

}  // namespace zelv4
