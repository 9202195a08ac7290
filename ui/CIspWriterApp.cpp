#include "ui/CIspWriterApp.h"

#include "ui/CIspWriterDlg.h"

namespace zelv4 {

CIspWriterApp::CIspWriterApp(IspDevicePort& device, UsbBusPort& bus) : m_device(device), m_bus(bus) {}

bool CIspWriterApp::InitInstance()
{
    {
        CIspWriterDlg dlg(m_device, m_bus);
        m_pMainWnd = &dlg;
        dlg.exec();  // OK, Cancel, Escape or the close box: the result is not used
        m_pMainWnd = nullptr;
    }
    return false;
}

}  // namespace zelv4
