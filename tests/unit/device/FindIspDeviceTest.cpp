#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/IspConstants.h"
#include "device/IspDeviceConnection.h"
#include "device/IspDeviceInventory.h"
#include "device/sim/SimMachine.h"
#include "support/TestMachine.h"

namespace zelv4 {
namespace {

constexpr const char* GUID_STATUS = "\xE7\xB3\xBB\xE7\xB5\xB1\xE4\xB8\xAD"
                                    "HID\xE9\xA1\x9E\xE7\x9A\x84"
                                    "GUID\xE6\xA8\x99\xE8\xAD\x98\xE7\x82\xBA"
                                    " : 4d1e55b2-f16f-11cf-88cb-001111000030\n";

// Every test starts from a closed device and a machine of its own.
class FindIspDeviceTest : public ::testing::Test {
protected:
    void FindIspDevice() { connection.FindIspDevice(); }
    void CloseIspDevice() { connection.CloseIspDevice(); }
    HidDeviceHandle* Device() const { return connection.Device(); }
    const HidCaps& Caps() const { return connection.Caps(); }
    const std::string& Status() const { return connection.Status(); }

    // Caps of this length, as an earlier search left them; nothing is attached after.
    void EarlierSearchFound(std::uint16_t featureLength)
    {
        machine.HidInterfaces().Add(Isp("sim:earlier", featureLength));
        FindIspDevice();
        CloseIspDevice();
        machine.HidInterfaces().Interfaces().clear();
    }

    SimHidInterface Isp(const std::string& path, std::uint16_t featureLength = ISP_REPORT_SIZE)
    {
        SimHidInterface result = SimHidInterface::IspLoader(path, machine.LoaderPtr());
        result.caps.FeatureReportByteLength = featureLength;
        return result;
    }
    SimHidInterface Other(const std::string& path) { return SimHidInterface::Other(path, 0x046D, 0xC31C, 9); }

    test::TestMachine machine;
    IspDeviceConnection connection{machine.Hid()};
};

TEST_F(FindIspDeviceTest, NoInterfacesLeavesDeviceClosedWithGuidStatus)
{
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(Status(), GUID_STATUS);
    EXPECT_EQ(connection.PlainMessage(), "");
    EXPECT_EQ(machine.HidInterfaces().LiveLists(), 0);
}

TEST_F(FindIspDeviceTest, MatchOpensDeviceWithCapsAndInformationText)
{
    machine.HidInterfaces().Add(Other("sim:a"));
    machine.HidInterfaces().Add(Isp("sim:b"));
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Caps().FeatureReportByteLength, 41);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 1);
    EXPECT_EQ(Status(),
              "Hid Device Information: \n VID: 0x040B \n PID: 0x6876 \n Usage: 0x0001 \n Usagepage: 0xFF00 \n "
              "InputReportByteLength:  0 \n OutputReportByteLength: 0 \n FeatureReportByteLength: 41 \n "
              "NumberLinkCollectionNodes: 1 \n NumberInputButtonCaps: 0 \n NumberInputValueCaps: 0 \n "
              "NumberOutputButtonCaps: 0 \n NumberOutputValueCaps: 0 \n NumberFeatureButtonCaps: 0 \n "
              "NumberFeatureValueCaps: 1 \n");

    // The handle reaches the loader behind the interface.
    std::vector<std::uint8_t> erase(ISP_REPORT_SIZE, 0);
    erase[ISP_OFFSET_COMMAND] = ISP_CMD_MASS_ERASE;
    EXPECT_TRUE(Device()->SetFeature(erase.data(), erase.size()));
    EXPECT_EQ(machine.Loader().Transfers().size(), 1u);

    CloseIspDevice();
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 0);
    EXPECT_EQ(machine.HidInterfaces().LiveLists(), 0);
}

TEST_F(FindIspDeviceTest, LaterMatchReplacesEarlierAndReleasesIt)
{
    machine.HidInterfaces().Add(Isp("sim:first", 41));
    machine.HidInterfaces().Add(Other("sim:other"));
    machine.HidInterfaces().Add(Isp("sim:second", 65));
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Caps().FeatureReportByteLength, 65);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 1);
}

// The attributes are those of the interface examined last, asked with size 12; the
// status stays the match's information text, whatever is examined after it.
TEST_F(FindIspDeviceTest, AttributesDescribeTheLastInterfaceAndStatusTheMatch)
{
    machine.HidInterfaces().Add(Isp("sim:isp", 41));
    machine.HidInterfaces().Add(Other("sim:other"));
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(connection.Attributes().Size, 12u);
    EXPECT_EQ(connection.Attributes().VendorID, 0x046D);
    EXPECT_EQ(connection.Attributes().ProductID, 0xC31C);
    EXPECT_EQ(Status().rfind("Hid Device Information: \n VID: 0x040B \n PID: 0x6876 \n", 0), 0u) << Status();
    EXPECT_EQ(connection.DevicePath(), "sim:isp");
}

TEST_F(FindIspDeviceTest, OnlyTwentyInterfacesAreExamined)
{
    for (int i = 0; i < 20; ++i)
        machine.HidInterfaces().Add(Other("sim:other" + std::to_string(i)));
    machine.HidInterfaces().Add(Isp("sim:late"));
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 0);

    // The same device one place earlier is found.
    machine.HidInterfaces().Interfaces().erase(machine.HidInterfaces().Interfaces().begin());
    FindIspDevice();
    EXPECT_NE(Device(), nullptr);
}

TEST_F(FindIspDeviceTest, InterfacesThatCannotBeOpenedAreSkippedAndDeniedOrBusyOnesRemembered)
{
    SimHidInterface broken = Other("sim:broken");
    machine.HidInterfaces().Faults(broken.path).openFailure = test::OpenFailure::Failed;
    SimHidInterface denied = Isp("sim:denied");
    machine.HidInterfaces().Faults(denied.path).openFailure = test::OpenFailure::PermissionDenied;
    SimHidInterface shared = Isp("sim:shared");
    machine.HidInterfaces().Faults(shared.path).openFailure = test::OpenFailure::Busy;
    SimHidInterface sharedOther = Other("sim:shared-keyboard");
    machine.HidInterfaces().Faults(sharedOther.path).openFailure = test::OpenFailure::Busy;
    machine.HidInterfaces().Add(broken);
    machine.HidInterfaces().Add(denied);
    machine.HidInterfaces().Add(shared);
    machine.HidInterfaces().Add(sharedOther);
    machine.HidInterfaces().Add(Isp("sim:ok"));
    FindIspDevice();
    EXPECT_NE(Device(), nullptr);
    EXPECT_EQ(connection.DeniedPaths(), std::vector<std::string>{"sim:denied"});
    EXPECT_EQ(connection.BusyPaths(), std::vector<std::string>{"sim:shared"}) << "only a refused ZEL-V4 is busy";

    // Each search starts its own record.
    machine.HidInterfaces().Faults("sim:denied").openFailure = test::OpenFailure::None;
    machine.HidInterfaces().Faults("sim:shared").openFailure = test::OpenFailure::None;
    CloseIspDevice();
    FindIspDevice();
    EXPECT_TRUE(connection.DeniedPaths().empty());
    EXPECT_TRUE(connection.BusyPaths().empty());
}

TEST_F(FindIspDeviceTest, DetailFailureEndsSearchKeepingEarlierMatch)
{
    machine.HidInterfaces().Add(Isp("sim:first", 41));
    SimHidInterface noDetail = Other("sim:nodetail");
    machine.HidInterfaces().Faults(noDetail.path).detailFails = true;
    machine.HidInterfaces().Add(noDetail);
    machine.HidInterfaces().Add(Isp("sim:after", 65));
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Caps().FeatureReportByteLength, 41);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 1);
    EXPECT_EQ(machine.HidInterfaces().LiveLists(), 0);
}

TEST_F(FindIspDeviceTest, AttributesFailureEndsSearchAndClosesThatHandle)
{
    SimHidInterface noAttributes = Other("sim:noattr");
    machine.HidInterfaces().Faults(noAttributes.path).attributesFail = true;
    machine.HidInterfaces().Add(noAttributes);
    machine.HidInterfaces().Add(Isp("sim:after"));
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 0);
    EXPECT_EQ(Status(), GUID_STATUS);

    // A match before it stays.
    machine.HidInterfaces().Interfaces().insert(machine.HidInterfaces().Interfaces().begin(), Isp("sim:before", 33));
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Caps().FeatureReportByteLength, 33);
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 1);
}

TEST_F(FindIspDeviceTest, PreparsedFailureShowsPlainBoxAndKeepsHandleAndOldCaps)
{
    EarlierSearchFound(17);
    SimHidInterface noPreparsed = Isp("sim:isp", 41);
    machine.HidInterfaces().Faults(noPreparsed.path).preparsedFails = true;
    machine.HidInterfaces().Add(noPreparsed);
    machine.HidInterfaces().Add(Isp("sim:after", 65));
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Caps().FeatureReportByteLength, 17);
    EXPECT_EQ(Status(), "Get HID PREPARED DATA fail! \n");
    EXPECT_EQ(connection.PlainMessage(), "Get HID PREPARED DATA fail! \n");
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 1);
    EXPECT_EQ(machine.HidInterfaces().LiveLists(), 0);
}

// The window's search ends at each of these; the list of attached chips goes on.
TEST_F(FindIspDeviceTest, TheInventoryListsTheChipsAfterAnUnreadableInterface)
{
    SimHidInterface noDetail = Other("sim:nodetail");
    machine.HidInterfaces().Faults(noDetail.path).detailFails = true;
    SimHidInterface noAttributes = Other("sim:noattr");
    machine.HidInterfaces().Faults(noAttributes.path).attributesFail = true;
    SimHidInterface noPreparsed = Isp("sim:nopreparsed");
    machine.HidInterfaces().Faults(noPreparsed.path).preparsedFails = true;
    for (const SimHidInterface& unreadable : {noDetail, noAttributes, noPreparsed})
        machine.HidInterfaces().Add(unreadable);
    machine.HidInterfaces().Add(Isp("sim:good"));

    std::vector<std::string> listed;
    for (const AttachedIspDevice& device : ListIspDevices(machine.Hid()))
        listed.push_back(device.path + (device.state == AttachedIspDevice::State::Available ? " available" : " other"));
    EXPECT_EQ(listed, (std::vector<std::string>{"sim:nopreparsed other", "sim:good available"}));
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 0);
}

TEST_F(FindIspDeviceTest, CapsFailureKeepsConnectOkStatusAndOldCaps)
{
    EarlierSearchFound(17);
    SimHidInterface noCaps = Isp("sim:isp", 41);
    machine.HidInterfaces().Faults(noCaps.path).capsFail = true;
    machine.HidInterfaces().Add(noCaps);
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(Status(), "ZEL-V4 HID device connect ok");
    EXPECT_EQ(Caps().FeatureReportByteLength, 17);
    EXPECT_EQ(connection.PlainMessage(), "");
}

TEST_F(FindIspDeviceTest, CapsKeepLastValueWhenLaterSearchFindsNothing)
{
    machine.HidInterfaces().Add(Isp("sim:isp", 41));
    FindIspDevice();
    CloseIspDevice();
    machine.HidInterfaces().Interfaces().clear();
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(Caps().FeatureReportByteLength, 41);
}

TEST_F(FindIspDeviceTest, IspInterfaceAppearsAfterScriptedSearchesAndLeavesWithIspMode)
{
    SimHidInterface late = Isp("sim:isp");
    machine.HidInterfaces().Faults(late.path).appearsAfterSearches = 2;
    machine.HidInterfaces().Add(late);
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);

    std::vector<std::uint8_t> leave(ISP_REPORT_SIZE, 0);
    leave[ISP_OFFSET_COMMAND] = ISP_CMD_EXIT_ISP;
    EXPECT_TRUE(Device()->SetFeature(leave.data(), leave.size()));
    CloseIspDevice();
    FindIspDevice();
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(machine.HidInterfaces().Searches(), 4u);
}

// What the operations see of the connection: the device it opened, its report
// length, and what the search had to say.
TEST_F(FindIspDeviceTest, ConnectionServesTheOperationsPort)
{
    SimHidInterface denied = Isp("sim:denied");
    machine.HidInterfaces().Faults(denied.path).openFailure = test::OpenFailure::PermissionDenied;
    machine.HidInterfaces().Add(denied);
    machine.HidInterfaces().Add(Isp("sim:isp"));
    IspDevicePort& port = connection;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Device(), nullptr);
    const IspSearchNotes notes = port.FindIspDevice();
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Device(), connection.Device());
    EXPECT_EQ(port.FeatureReportLength(), 41);
    EXPECT_EQ(notes.deniedPaths, std::vector<std::string>{"sim:denied"});
    EXPECT_TRUE(notes.busyPaths.empty());
    EXPECT_EQ(notes.plainMessage, "");
    port.CloseIspDevice();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(machine.HidInterfaces().LiveHandles(), 0);
}

// Two connections are two programmers: the one that has the chip holds it until it
// closes it, the other finds it busy and leaves it alone.
TEST_F(FindIspDeviceTest, TwoConnectionsNeverShareTheDevice)
{
    machine.HidInterfaces().Add(Isp("sim:isp"));
    IspDeviceConnection second(machine.Hid());
    FindIspDevice();
    ASSERT_NE(Device(), nullptr);
    second.FindIspDevice();
    EXPECT_EQ(second.Device(), nullptr);
    EXPECT_EQ(second.BusyPaths(), std::vector<std::string>{"sim:isp"});
    EXPECT_NE(Device(), nullptr) << "the second search took the first one's device";
    CloseIspDevice();
    second.FindIspDevice();
    EXPECT_NE(second.Device(), nullptr);
    EXPECT_TRUE(second.BusyPaths().empty());
}

TEST(SimDefaultMachine, CarriesGivenFlashAndOneNonMatchingInterface)
{
    FirmwareImage flash{};
    flash[0] = 0x12;
    flash[ISP_IMAGE_SIZE - 1] = 0x34;
    auto machine = test::TestMachine::CreateDefault(flash);
    EXPECT_EQ(machine->Loader().Flash(), flash);
    const auto& interfaces = machine->HidInterfaces().Interfaces();
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[0].path, SimMachine::DEFAULT_ISP_PATH);
    EXPECT_EQ(interfaces[0].caps.FeatureReportByteLength, 41);
    EXPECT_EQ(interfaces[0].loader.get(), &machine->Loader());
    EXPECT_NE(interfaces[1].vendorId, ISP_VENDOR_ID);
}

}  // namespace
}  // namespace zelv4
