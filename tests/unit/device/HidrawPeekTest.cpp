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

}  // namespace
}  // namespace zelv4
