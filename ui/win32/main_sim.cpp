// zelv4-writer-sim.exe: the same window over the simulated machine (a ZEL-V4 in
// ISP mode), for trying the window without a chip. Not shipped.
#include <windows.h>

#include <memory>

#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "device/sim/SimMachine.h"
#include "sys/ProcessSetup.h"
#include "ui/win32/CIspWriterApp.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/)
{
    // Before anything is opened: a missing standard handle must not become a file.
    zelv4::EnsureStandardStreams();
    const std::unique_ptr<zelv4::SimMachine> machine = zelv4::SimMachine::CreateDefault();
    zelv4::IspDeviceConnection device(machine->Hid());
    zelv4::UsbBusScan bus(machine->UsbBus());
    zelv4::CIspWriterApp theApp(device, bus);
    theApp.InitInstance();
    return 0;
}
