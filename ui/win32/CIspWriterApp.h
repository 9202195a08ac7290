#pragma once

#include <windows.h>

namespace zelv4 {

class IspDeviceAccess;

// The application object: runs the main window modally and ends with it. No menu,
// no help file and no message loop of its own.
class CIspWriterApp {
public:
    // The device access must outlive the application object.
    explicit CIspWriterApp(IspDeviceAccess& device);

    // Constructs the main window, runs it modally, destroys it. Returns FALSE: the
    // program then ends instead of entering a message loop.
    BOOL InitInstance();

    // The main window while InitInstance runs it, else null.
    HWND MainWindow() const;

private:
    IspDeviceAccess& m_device;
    class CIspWriterDlg* m_pMainWnd = nullptr;
};

}  // namespace zelv4
