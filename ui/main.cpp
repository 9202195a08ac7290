// zelv4-writer: the dialog application on the real device.
#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <string>

#include "device/DevicePlatform.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "sys/ProcessSetup.h"
#include "ui/CIspWriterApp.h"
#include "ui/GuiStartup.h"

int main(int argc, char* argv[])
{
    // Before anything is opened: a closed stdout must not become the device node.
    zelv4::EnsureStandardStreams();
    // QApplication takes the toolkit's own options (-platform, -display, ...);
    // the program ignores everything else on its command line.
    const std::unique_ptr<QApplication> application = zelv4::GuiStartup::CreateApplication(argc, argv);
    const zelv4::Expected<std::unique_ptr<zelv4::DevicePlatform>> platform = zelv4::CreateOsPlatform();
    if (!platform) {
        // A library the device search needs is missing: say which, here and on stderr.
        const std::string& error = platform.error().message;
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(), QString::fromStdString(error));
        return 1;
    }
    zelv4::IspDeviceConnection device((*platform)->Hid());
    zelv4::UsbBusScan bus((*platform)->UsbBus());
    zelv4::CIspWriterApp theApp(device, bus);
    theApp.InitInstance();
    return 0;
}
