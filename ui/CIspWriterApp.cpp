#include "ui/CIspWriterApp.h"

#include "ui/CIspWriterDlg.h"

namespace zelv4 {

CIspWriterApp::CIspWriterApp(IspDeviceAccess& device) : m_device(device) {}

bool CIspWriterApp::InitInstance()
{
    {
        CIspWriterDlg dlg(m_device);
        m_pMainWnd = &dlg;
        dlg.exec();  // OK, Cancel, Escape or the close box: the result is not used
        m_pMainWnd = nullptr;
    }
    return false;
}

}  // namespace zelv4
