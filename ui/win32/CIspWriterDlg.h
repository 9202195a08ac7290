#pragma once

#include <windows.h>
// The window service of that name is not the A/W switch of windows.h.
#undef MessageBox

#include <optional>
#include <string>

#include "core/DialogFields.h"
#include "core/IspDevicePort.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "core/UsbBusPort.h"
#include "core/WindowServices.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

// The main window: dialog template 102 run modally, with the path and checksum
// fields, the operation buttons and the two report buffers. Its click handlers run
// the shared operations, which call back into the window's services.
class CIspWriterDlg : public WindowServices, public DialogFields {
public:
    // The device and the bus must outlive the window.
    CIspWriterDlg(IspDevicePort& device, UsbBusPort& bus);
    CIspWriterDlg(const CIspWriterDlg&) = delete;
    CIspWriterDlg& operator=(const CIspWriterDlg&) = delete;

    // Runs the dialog until OK or Cancel ends it (Enter, Escape, the close box).
    INT_PTR DoModal(HWND parent = nullptr);

    // The executable's file name without its extension: the caption of every
    // application message box.
    static std::string ApplicationName();

    HWND GetSafeHwnd() const { return m_hWnd; }

    // WindowServices
    void ShowFields() override;
    void CollectFields() override;
    void DisableButtons() override;
    void EnableButtons() override;
    void MessageBox(const std::string& text, MessageIcon icon) override;
    void WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions& options) override;
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions& options) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog();
    bool OnPaint();
    void OnCommand(int id);
    void ExecuteDialogInit();
    void SetButtonsEnabled(bool enabled);
    std::string ControlText(int id) const;
    std::optional<std::string> RunFileDialog(bool save, const FileDialogOptions& options);

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    IspReportBuffers m_reports;
    SystemOutputFiles m_files;
    IspOperations m_operations;
};

}  // namespace zelv4
