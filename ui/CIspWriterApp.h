#pragma once

class QWidget;

namespace zelv4 {

class IspDevicePort;
class UsbBusPort;

// The application object: runs the main window modally and ends with it. It has
// no help of its own (the help command would go to the framework's default, and
// there is no help file), no menu and no message loop of its own.
class CIspWriterApp {
public:
    // The device and the bus must outlive the application object.
    CIspWriterApp(IspDevicePort& device, UsbBusPort& bus);

    // Constructs the main window, runs it modally, destroys it. Returns false: the
    // program then ends instead of entering a message loop.
    bool InitInstance();

    // The main window while InitInstance runs it, else null.
    QWidget* MainWindow() const { return m_pMainWnd; }

private:
    IspDevicePort& m_device;
    UsbBusPort& m_bus;
    QWidget* m_pMainWnd = nullptr;
};

}  // namespace zelv4
