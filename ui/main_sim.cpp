// zelv4-writer-sim: the same window over the simulated machine (a ZEL-V4 in ISP
// mode), for screenshots and for trying the window without a chip.
#include <QApplication>

#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "device/sim/SimMachine.h"
#include "sys/ProcessSetup.h"
#include "ui/CIspWriterApp.h"
#include "ui/GuiStartup.h"

int main(int argc, char* argv[])
{
    // Before anything is opened: a closed stdout must not become the device node.
    zelv4::EnsureStandardStreams();
    const std::unique_ptr<QApplication> application = zelv4::GuiStartup::CreateApplication(argc, argv);
    const std::unique_ptr<zelv4::SimMachine> machine = zelv4::SimMachine::CreateDefault();
    zelv4::IspDeviceConnection device(machine->Hid());
    zelv4::UsbBusScan bus(machine->UsbBus());
    zelv4::CIspWriterApp theApp(device, bus);
    theApp.InitInstance();
    return 0;
}
