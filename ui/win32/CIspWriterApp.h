#pragma once

#include <windows.h>

namespace zelv4 {

class IspDevicePort;
class UsbBusPort;

// The application object: runs the main window modally and ends with it. No menu,
// no help file and no message loop of its own.
class CIspWriterApp {
public:
    // The device and the bus must outlive the application object.
    CIspWriterApp(IspDevicePort& device, UsbBusPort& bus);

    // Constructs the main window, runs it modally, destroys it. Returns FALSE: the
    // program then ends instead of entering a message loop.
    BOOL InitInstance();

    // The main window while InitInstance runs it, else null.
    HWND MainWindow() const;

private:
    IspDevicePort& m_device;
    UsbBusPort& m_bus;
    class CIspWriterDlg* m_pMainWnd = nullptr;
};

}  // namespace zelv4
