// The emulated machine as seen from inside it (this binary runs under the preload
// library): loaders sit at the USB ports asked for, each with its own faults, and
// arrive and leave as the kernel reports it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

#include "emulation/EmulatedCommand.h"
#include "emulation/EmulatedMachine.h"
#include "emulation/UeventListener.h"

namespace zelv4 {
namespace {

using namespace std::chrono_literals;

// Sends the loader's erase request on an open node: the ioctl's result, or -errno.
int Erase(int fd, std::size_t length = EmulatedLoader::DEFAULT_FEATURE_LENGTH)
{
    std::vector<std::uint8_t> report(length, 0);
    report[1] = EmulatedLoader::CMD_ERASE;
    const int result = ::ioctl(fd, HIDIOCSFEATURE(length), report.data());
    return result < 0 ? -errno : result;
}

std::string Link(const std::string& path)
{
    char target[512];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::string Attribute(const std::string& path)
{
    char text[64] = "";
    if (std::FILE* file = std::fopen(path.c_str(), "r")) {
        if (std::fgets(text, sizeof text, file) == nullptr)
            text[0] = '\0';
        std::fclose(file);
    }
    return text;
}

class EmulatedMachineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(umockdev_in_mock_environment()) << "run this binary under umockdev-wrapper"; }

    EmulatedMachine machine;
};

TEST_F(EmulatedMachineTest, LoadersOnHubPortsHaveTheirPortPathsAndTheirOwnFaults)
{
    machine.AddLoader({.port = "1-1"});
    machine.AddLoader({.port = "1-2.1", .failAt = {2}});
    machine.AddLoader({.port = "1-2.3", .featureLength = 65});
    ASSERT_EQ(machine.Error(), "");

    const std::vector<std::pair<std::string, std::string>> expected{{"1-1", "1"}, {"1-2.1", "2.1"}, {"1-2.3", "2.3"}};
    for (unsigned i = 0; i < expected.size(); ++i) {
        const auto& [port, devpath] = expected[i];
        const std::string node = "/dev/hidraw" + std::to_string(i);
        EXPECT_EQ(machine.HidrawNode(port), node);
        // The node's sysfs place names its USB device, as the kernel's does.
        EXPECT_NE(Link("/sys/class/hidraw/hidraw" + std::to_string(i)).find("/" + port + "/" + port + ":1.0/"),
                  std::string::npos);
        EXPECT_EQ(Attribute("/sys/bus/usb/devices/" + port + "/devpath"), devpath + "\n");
    }

    const int first = ::open("/dev/hidraw0", O_RDWR | O_CLOEXEC);
    const int failing = ::open("/dev/hidraw1", O_RDWR | O_CLOEXEC);
    const int longer = ::open("/dev/hidraw2", O_RDWR | O_CLOEXEC);
    ASSERT_TRUE(first >= 0 && failing >= 0 && longer >= 0);
    for (int transfer = 1; transfer <= 3; ++transfer) {
        EXPECT_EQ(Erase(first), 41);
        EXPECT_EQ(Erase(failing), transfer == 2 ? -EIO : 41) << "transfer " << transfer;
        EXPECT_EQ(Erase(longer, 65), 65);
    }
    EXPECT_EQ(Erase(longer), -EPIPE) << "41 bytes is not this loader's report";
    for (const int fd : {first, failing, longer})
        ::close(fd);
    EXPECT_EQ(machine.Loader("1-2.1")->Summary().find("failed: 1\n") != std::string::npos, true);
    EXPECT_EQ(machine.Loader("1-1")->Violations() + machine.Loader("1-2.1")->Violations(), 0u);
    EXPECT_EQ(machine.Loader("1-2.3")->Violations(), 1u);
    EXPECT_EQ(machine.OpenHidrawNodes(), 0u);
}

TEST_F(EmulatedMachineTest, LoadersArrivingWhileACommandSearchesAreAnnouncedAndAnswer)
{
    machine.AddHub("1-2", 4);
    for (unsigned search = 1; search <= 3; ++search) {
        machine.Schedule({.loader = {.port = "1-2." + std::to_string(search)},
                          .when = {.kind = EventTrigger::Kind::Search, .count = search}});
    }
    UeventListener listener;
    ASSERT_TRUE(listener.Listening());

    int exitCode = -1;
    std::thread command([&] {
        exitCode = EmulatedCommand(machine).Run(
            {"sh", "-c", "for i in 1 2 3; do ls /sys/class/hidraw >/dev/null; sleep 0.2; done"}, 20s);
    });
    std::vector<Uevent> added;
    while (added.size() < 3) {
        const auto event = listener.Next(5s);
        if (!event)
            break;
        if (event->subsystem == "hidraw")
            added.push_back(*event);
    }
    command.join();
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(machine.PendingEvents(), 0u);
    EXPECT_EQ(machine.Error(), "");
    ASSERT_EQ(added.size(), 3u);
    for (unsigned i = 0; i < added.size(); ++i) {
        const std::string port = "1-2." + std::to_string(i + 1);
        EXPECT_EQ(added[i].action, "add");
        EXPECT_EQ(added[i].devname, "/dev/hidraw" + std::to_string(i));
        EXPECT_NE(added[i].devpath.find("/" + port + "/"), std::string::npos) << added[i].devpath;
        const int fd = ::open(added[i].devname.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_EQ(Erase(fd), 41) << added[i].devname;
        ::close(fd);
        EXPECT_EQ(machine.Loader(port)->Transfers(), 1u);
    }
}

TEST_F(EmulatedMachineTest, UnplugAtATransferFailsEverythingAfterAndTheNodeLeaves)
{
    machine.AddLoader({.port = "1-1", .unplugAt = 2, .removeAtUnplug = true});
    UeventListener listener;
    const int fd = ::open("/dev/hidraw0", O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    // What a program writes into the node is seen, whether write() reaches the
    // preload library or goes from inside libc straight to the node's file.
    EXPECT_EQ(::write(fd, "text", 4), 4);
    EXPECT_EQ(machine.Traffic().writes, 1u);
    EXPECT_EQ(machine.NodeFileBytes(), 0u);
    std::FILE* stream = ::fdopen(::dup(fd), "w");
    std::fputs("Write Command Succeeded !\n", stream);
    std::fclose(stream);
    EXPECT_EQ(machine.NodeFileBytes(), 26u);

    EXPECT_EQ(Erase(fd), 41);
    EXPECT_EQ(Erase(fd), -ENODEV);
    machine.Poll(0ms);
    hidraw_devinfo info{};
    EXPECT_EQ(::ioctl(fd, HIDIOCGRAWINFO, &info), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_NE(::access(machine.NodeFile("/dev/hidraw0").c_str(), F_OK), 0);
    std::vector<std::string> removed;
    while (const auto event = listener.Next(100ms))
        removed.push_back(event->action + " " + event->subsystem);
    EXPECT_EQ(removed, (std::vector<std::string>{"remove hidraw", "remove hid", "remove usb", "remove usb"}));

    // A loader plugged into the same port gets the freed node; the old descriptor
    // still reaches only the unplugged one.
    machine.Plug({.port = "1-1"});
    const int again = ::open("/dev/hidraw0", O_RDWR | O_CLOEXEC);
    EXPECT_EQ(Erase(again), 41);
    EXPECT_EQ(Erase(fd), -ENODEV);
    ::close(again);
    ::close(fd);
    EXPECT_EQ(machine.Loaders().size(), 2u);
    EXPECT_EQ(machine.Loaders().front()->Summary().find("after-unplug: 2\n") != std::string::npos, true);
    EXPECT_EQ(machine.Error(), "");
}

}  // namespace
}  // namespace zelv4
