#include <gtest/gtest.h>

#include <chrono>

#include "device/IspDeviceConnection.h"
#include "device/PollingHidMonitor.h"
#include "device/sim/SimMachine.h"
#include "support/TestMachine.h"

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
        const auto machine = test::TestMachine::CreateDefault();
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

        // Woken, the wait ends empty long before its own time-out.
        monitor->Wake();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(WaitForChanges(*monitor).empty()) << "woken without a change";
        EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(9000)) << "the wake was lost";
    }
}

// A listing that fails on the way (an interface's details unreadable for a moment)
// is no removal, so the chip is not seen to come back and programmed twice.
TEST(HidChangeMonitor, PollingSkipsAListingThatFailedOnTheWay)
{
    const auto machine = test::TestMachine::CreateDefault();
    test::TestHidPlatform& hid = machine->HidInterfaces();
    const auto monitor = hid.HidPlatform::MonitorChanges();
    hid.Faults(SimMachine::DEFAULT_ISP_PATH).detailFails = true;
    EXPECT_TRUE(monitor->Wait(milliseconds(2 * HID_POLL_MILLISECONDS)).empty());
    hid.Faults(SimMachine::DEFAULT_ISP_PATH).detailFails = false;
    EXPECT_TRUE(monitor->Wait(milliseconds(2 * HID_POLL_MILLISECONDS)).empty());
}

// Auto's waits on the command line end when a chip appears, and only then; the
// window's last their whole time; a stop request ends either.
TEST(IspDeviceWait, EndsOnAnArrivingChipOnlyWhenWatchingArrivals)
{
    test::TestMachine machine;
    SimHidPlatform& hid = machine.HidInterfaces();
    IspDeviceConnection watching(hid);
    watching.WatchArrivals();
    IspDeviceConnection window(hid);
    const auto elapsed = [](auto wait) {
        const auto start = std::chrono::steady_clock::now();
        wait();
        return std::chrono::steady_clock::now() - start;
    };

    hid.Plug(SimHidInterface::Other("sim:kbd", 0x046D, 0xC31C));
    EXPECT_GE(elapsed([&] { watching.WaitForIspDevice(milliseconds(200), {}); }), milliseconds(200))
        << "an arrival that is no ISP device ended it";

    machine.AddChip(milliseconds(250));  // sim:hid2, about 50 ms from now
    EXPECT_LT(elapsed([&] { watching.WaitForIspDevice(milliseconds(20000), {}); }), milliseconds(10000))
        << "the arrival did not end the wait";

    machine.AddChip(milliseconds(350));  // sim:hid3, during the next wait
    EXPECT_GE(elapsed([&] { window.WaitForIspDevice(milliseconds(300), {}); }), milliseconds(300))
        << "the window's wait ended early";
    EXPECT_LT(elapsed([&] { window.WaitForIspDevice(milliseconds(20000), [] { return true; }); }), milliseconds(10000))
        << "the stop request did not end the wait";
}

}  // namespace
}  // namespace zelv4
