#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/DialogFields.h"
#include "core/FirmwareImage.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "support/RecordingWindow.h"
#include "support/ScratchDir.h"
#include "support/TestMachine.h"
#include "sys/ReplacingFile.h"

namespace zelv4::test {

// The operations wired to a recording window and a simulated machine, with the
// real device search and bus scan in between.
struct OpsHarness {
    explicit OpsHarness(std::unique_ptr<test::TestMachine> simMachine = test::TestMachine::CreateDefault())
        : machine(std::move(simMachine)), connection(machine->Hid()), scan(machine->UsbBus()), window(log),
          device(connection, &log), bus(scan, log), ops(window, fields, reports, device, bus, files)
    {}
    ~OpsHarness() { connection.CloseIspDevice(); }

    TestIspLoader& Loader() { return machine->Loader(); }

    // The device is closed and every handle released after an operation.
    bool DeviceClosed() const { return !connection.IsOpen() && machine->HidInterfaces().LiveHandles() == 0; }

    std::vector<SimTransfer> Sets() const
    {
        std::vector<SimTransfer> sets;
        for (const SimTransfer& transfer : machine->Loader().Transfers())
            if (transfer.kind == SimTransfer::Kind::Set)
                sets.push_back(transfer);
        return sets;
    }

    std::unique_ptr<test::TestMachine> machine;
    IspDeviceConnection connection;
    UsbBusScan scan;
    EventLog log;
    RecordingWindow window;
    RecordingDevice device;
    RecordingBus bus;
    DialogFields fields;
    IspReportBuffers reports;
    SystemOutputFiles files;
    IspOperations ops;
};

// A full image with no two neighbouring blocks alike.
inline FirmwareImage PatternImage()
{
    FirmwareImage image{};
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>((i * 7 + i / 256 + 3) & 0xFF);
    return image;
}

inline std::string ImageBytes(const FirmwareImage& image)
{
    return std::string(reinterpret_cast<const char*>(image.data()), image.size());
}

// A machine with no ISP interface and nothing on the bus.
inline std::unique_ptr<test::TestMachine> EmptyMachine()
{
    return std::make_unique<test::TestMachine>();
}

// The chip is attached and answers the signature, but its ISP interface is listed
// only from search `appearsAfterSearches` on (never, with a large number).
inline std::unique_ptr<test::TestMachine> LateIspMachine(unsigned appearsAfterSearches)
{
    auto machine = std::make_unique<test::TestMachine>();
    SimHidInterface isp = SimHidInterface::IspLoader(SimMachine::DEFAULT_ISP_PATH, machine->LoaderPtr());
    machine->HidInterfaces().Faults(isp.path).appearsAfterSearches = appearsAfterSearches;
    machine->HidInterfaces().Add(isp);
    machine->UsbTree().AddDefaultBus();
    return machine;
}

}  // namespace zelv4::test
