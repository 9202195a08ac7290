#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "cli/CliWindow.h"
#include "device/linux/HidrawPlatform.h"
#include "device/sim/SimMachine.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

using std::chrono::milliseconds;

std::vector<HidChange> WaitForChanges(HidChangeMonitor& monitor)
{
    // Long enough never to be reached: each wait ends on its change.
    return monitor.Wait(milliseconds(10000));
}

// Plugs, unplugs and a loader leaving ISP mode, in order, from the sim's own
// monitor and from the polling fallback every platform gets.
TEST(HidChangeMonitor, ReportsArrivalsRemovalsAndLoadersLeavingIsp)
{
    for (const bool polling : {false, true}) {
        SCOPED_TRACE(polling ? "polling" : "events");
        const auto machine = SimMachine::CreateDefault();
        SimHidPlatform& hid = machine->HidInterfaces();
        const auto monitor = polling ? hid.HidPlatform::MonitorChanges() : hid.MonitorChanges();
        const std::shared_ptr<SimIspLoader> chip = machine->AddChip(milliseconds(20));

        std::vector<HidChange> changes = WaitForChanges(*monitor);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0].kind, HidChange::Kind::Added);
        EXPECT_EQ(changes[0].path, "sim:hid2");

        hid.Unplug("sim:hid2");
        changes = WaitForChanges(*monitor);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0].kind, HidChange::Kind::Removed);

        const std::uint8_t leave[41] = {0, 0xA9};
        ASSERT_TRUE(machine->Loader().SetFeature(leave, sizeof leave));
        changes = WaitForChanges(*monitor);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0].kind, HidChange::Kind::Removed);
        EXPECT_EQ(changes[0].path, SimMachine::DEFAULT_ISP_PATH);

        monitor->Wake();
        EXPECT_TRUE(WaitForChanges(*monitor).empty()) << "woken without a change";
    }
}

// Auto's waits on the command line end when the chip appears, and only then.
TEST(CliWindowWait, EndsOnAWantedArrivalAndKeepsItsLengthOtherwise)
{
    SimMachine machine;
    SimHidPlatform& hid = machine.HidInterfaces();
    const auto monitor = hid.MonitorChanges();
    std::ostringstream out, err;
    CliWindow window(out, err);
    window.WaitForArrivals(monitor.get(), [](const std::string& path) { return path == "sim:hid2"; });

    hid.Plug(SimHidInterface::Other("sim:kbd", 0x046D, 0xC31C));
    auto start = std::chrono::steady_clock::now();
    window.Sleep(200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(200)) << "an unwanted arrival ended it";

    machine.AddChip(milliseconds(250));  // sim:hid2, about 50 ms from now
    start = std::chrono::steady_clock::now();
    window.Sleep(20000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(10000)) << "the arrival did not end the wait";
}

// The port comes from the USB device above the node: bus number and port path.
TEST(HidrawPortPath, ReadsBusAndPortsOfTheNodesUsbDevice)
{
    test::ScratchDir sys;
    const std::string usb = "devices/pci0000:00/usb1/1-2/1-2.3";
    std::filesystem::create_directories(sys.Path(usb + "/1-2.3:1.0/0003:040B:6876.0001/hidraw/hidraw3"));
    sys.Write(usb + "/busnum", "1\n");
    sys.Write(usb + "/devpath", "2.3\n");
    std::filesystem::create_directories(sys.Path("class/hidraw"));
    std::filesystem::create_directory_symlink("../../" + usb + "/1-2.3:1.0/0003:040B:6876.0001/hidraw/hidraw3",
                                              sys.Path("class/hidraw/hidraw3"));
    std::filesystem::create_directories(sys.Path("devices/virtual/misc/hidraw/hidraw4"));
    std::filesystem::create_directory_symlink("../../devices/virtual/misc/hidraw/hidraw4",
                                              sys.Path("class/hidraw/hidraw4"));

    HidrawPlatform platform(sys.Path("class/hidraw"), "/dev");
    EXPECT_EQ(platform.PortPath("/dev/hidraw3"), "1-2.3");
    EXPECT_EQ(platform.PortPath("/dev/hidraw4"), std::nullopt) << "not on USB";
    EXPECT_EQ(platform.PortPath("/dev/hidraw9"), std::nullopt) << "no such node";
}

}  // namespace
}  // namespace zelv4
