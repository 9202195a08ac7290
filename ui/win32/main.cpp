// zelv4-writer.exe: the dialog application on the system's devices. The program
// ignores its command line.
#include <windows.h>

#include <memory>
#include <string>

#include "device/DevicePlatform.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "sys/ProcessSetup.h"
#include "ui/win32/CIspWriterApp.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/)
{
    // Before anything is opened: a missing standard handle must not become a file.
    zelv4::EnsureStandardStreams();
    const zelv4::Expected<std::unique_ptr<zelv4::DevicePlatform>> platform = zelv4::CreateOsPlatform();
    if (!platform) {
        ::MessageBoxA(nullptr, platform.error().message.c_str(), "zelv4-writer", MB_OK | MB_ICONERROR);
        return 1;
    }
    zelv4::IspDeviceConnection device((*platform)->Hid());
    zelv4::UsbBusScan bus((*platform)->UsbBus());
    zelv4::CIspWriterApp theApp(device, bus);
    theApp.InitInstance();
    return 0;
}
