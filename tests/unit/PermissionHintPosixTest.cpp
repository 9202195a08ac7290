#include "sys/PermissionHint.h"
#include <gtest/gtest.h>
#include <string>

namespace zelv4 {
namespace {

// The device hint must carry the whole fix (copy the rule, reload udev, replug); the
// bus hint must not promise that the rule helps, since it covers only the loader.
TEST(PermissionHintPosix, DeviceHintGivesTheUdevFixAndBusHintDoesNotPromiseIt)
{
    const std::string device = DevicePermissionHint();
    EXPECT_NE(device.find("cp res/70-zelv4-writer.rules /etc/udev/rules.d/"), std::string::npos) << device;
    EXPECT_NE(device.find("udevadm control --reload-rules && udevadm trigger"), std::string::npos) << device;
    EXPECT_NE(device.find("plug it in again"), std::string::npos) << device;

    const std::string bus = BusPermissionHint();
    EXPECT_NE(bus.find("run the probe as root"), std::string::npos) << bus;
    EXPECT_EQ(bus.find("cp res/"), std::string::npos) << bus;
}

}  // namespace
}  // namespace zelv4
