#include "ui/win32/CIspWriterApp.h"

#include <commctrl.h>

#include "ui/win32/CIspWriterDlg.h"

namespace zelv4 {

CIspWriterApp::CIspWriterApp(IspDevicePort& device, UsbBusPort& bus) : m_device(device), m_bus(bus) {}

BOOL CIspWriterApp::InitInstance()
{
    // The template's progress bar is a common control: its class must be there
    // before the dialog is made, or the dialog is not made at all.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    ::InitCommonControlsEx(&controls);
    {
        CIspWriterDlg dlg(m_device, m_bus);
        m_pMainWnd = &dlg;
        dlg.DoModal();  // OK, Cancel, Escape or the close box: the result is not used
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

HWND CIspWriterApp::MainWindow() const
{
    return m_pMainWnd != nullptr ? m_pMainWnd->GetSafeHwnd() : nullptr;
}

}  // namespace zelv4
