// zelv4-writer.exe: the dialog application on the system's devices. The program
// ignores its command line.
#include <windows.h>

#include <memory>

#include "device/DeviceAccessAdapter.h"
#include "device/DevicePlatform.h"
#include "sys/ProcessSetup.h"
#include "ui/win32/CIspWriterApp.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/)
{
    // Before anything is opened: a missing standard handle must not become a file.
    zelv4::EnsureStandardStreams();
    const std::unique_ptr<zelv4::DevicePlatform> platform = zelv4::CreateOsPlatform();
    zelv4::DeviceAccessAdapter device(*platform);
    zelv4::CIspWriterApp theApp(device);
    theApp.InitInstance();
    return 0;
}
