#include <gtest/gtest.h>

#include <filesystem>

#include "device/linux/HidrawPlatform.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

// The ids of a node come from its HID device's uevent, which needs no permission.
TEST(HidrawPeekAttributes, ReadsTheHidIdOfTheNodesDevice)
{
    test::ScratchDir sys;
    std::filesystem::create_directories(sys.Path("hidraw3/device"));
    sys.Write("hidraw3/device/uevent", "DRIVER=hid-generic\nHID_ID=0003:0000040B:00006876\nHID_NAME=x\n");
    std::filesystem::create_directories(sys.Path("hidraw4/device"));
    sys.Write("hidraw4/device/uevent", "HID_ID=0003:0001046D:0000C31C\n");  // vendor past 16 bits
    std::filesystem::create_directories(sys.Path("hidraw5/device"));
    sys.Write("hidraw5/device/uevent", "HID_NAME=no id here\n");

    HidrawPlatform platform(sys.Path(""), "/dev");
    const auto ids = platform.PeekAttributes("/dev/hidraw3");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->VendorID, 0x040B);
    EXPECT_EQ(ids->ProductID, 0x6876);
    EXPECT_FALSE(platform.PeekAttributes("/dev/hidraw4"));
    EXPECT_FALSE(platform.PeekAttributes("/dev/hidraw5"));
    EXPECT_FALSE(platform.PeekAttributes("/dev/hidraw9")) << "no sysfs entry";
    EXPECT_FALSE(platform.PeekAttributes("/dev/../etc/passwd")) << "not a hidraw node name";
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
