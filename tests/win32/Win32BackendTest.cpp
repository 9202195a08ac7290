#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "device/win32/WideToAnsi.h"
#include "device/win32/Win32HidPlatform.h"
#include "sys/win32/NamedClaim.h"

namespace zelv4 {
namespace {

constexpr const char* DEVICE = "\\\\?\\hid#vid_040b&pid_6876#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

TEST(Win32NamedClaim, NamedAfterThePathWithoutCaseOrBackslashes)
{
    const std::string name = NamedClaim::NameFor("device", DEVICE);
    EXPECT_EQ(name.rfind("Global\\", 0), 0u);
    EXPECT_EQ(name.find('\\', 7), std::string::npos);
    EXPECT_EQ(name,
              NamedClaim::NameFor(
                  "device", "\\\\?\\HID#VID_040B&PID_6876#7&1A2B3C4D&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}"));
    EXPECT_NE(name, NamedClaim::NameFor("device", "\\\\?\\hid#vid_040b&pid_6876#7&1a2b3c4d&0&0001"));

    const std::string longPath(400, 'x');
    const std::string longName = NamedClaim::NameFor("device", longPath);
    EXPECT_LE(longName.size(), 200u);
    EXPECT_NE(longName, NamedClaim::NameFor("device", longPath + "y"));
}

// Holds the device's claim on another thread, as a second programmer would.
class OtherHolder {
public:
    explicit OtherHolder(const std::string& path)
    {
        m_thread = std::thread([this, path] {
            NamedClaim::Result result = NamedClaim::Result::Failed;
            const auto lock = NamedClaim::TryTake("device", path, result);
            m_taken = result == NamedClaim::Result::Taken;
            ::SetEvent(m_held);
            ::WaitForSingleObject(m_release, INFINITE);
        });
        ::WaitForSingleObject(m_held, INFINITE);
    }
    ~OtherHolder() { Release(); }
    OtherHolder(const OtherHolder&) = delete;
    OtherHolder& operator=(const OtherHolder&) = delete;

    void Release()
    {
        if (!m_thread.joinable())
            return;
        ::SetEvent(m_release);
        m_thread.join();
    }
    bool Taken() const { return m_taken; }

private:
    HANDLE m_held = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool m_taken = false;
    std::thread m_thread;
};

TEST(Win32NamedClaim, ASecondHolderIsBusyUntilTheFirstLets)
{
    OtherHolder other(DEVICE);
    ASSERT_TRUE(other.Taken());
    NamedClaim::Result result = NamedClaim::Result::Failed;
    EXPECT_FALSE(NamedClaim::TryTake("device", DEVICE, result));
    EXPECT_EQ(result, NamedClaim::Result::Busy);
    EXPECT_TRUE(NamedClaim::TryTake("device", std::string(DEVICE) + "-another", result)) << "another device is free";

    // A listing tells it is held without taking it, so it never makes the holder busy.
    EXPECT_TRUE(NamedClaim::IsTaken("device", DEVICE));
    EXPECT_FALSE(NamedClaim::IsTaken("device", std::string(DEVICE) + "-another"));

    other.Release();
    EXPECT_FALSE(NamedClaim::IsTaken("device", DEVICE));
    EXPECT_TRUE(NamedClaim::TryTake("device", DEVICE, result));
    EXPECT_EQ(result, NamedClaim::Result::Taken);
}

TEST(Win32NamedClaim, OneThreadCannotTakeItTwice)
{
    NamedClaim::Result result = NamedClaim::Result::Failed;
    const auto first = NamedClaim::TryTake("device", DEVICE, result);
    ASSERT_TRUE(first);
    EXPECT_FALSE(NamedClaim::TryTake("device", DEVICE, result)) << "a second handle in the same program";
    EXPECT_EQ(result, NamedClaim::Result::Busy);
}

// A program that ends holding the claim never lets go; the system closes its handle.
TEST(Win32NamedClaim, AClaimLeftByAnEndedProgramIsFree)
{
    const std::string name = NamedClaim::NameFor("device", DEVICE);
    const HANDLE left = ::CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    ASSERT_NE(left, nullptr);
    ASSERT_EQ(::WaitForSingleObject(left, 0), WAIT_OBJECT_0);
    ::CloseHandle(left);

    NamedClaim::Result result = NamedClaim::Result::Failed;
    EXPECT_TRUE(NamedClaim::TryTake("device", DEVICE, result));
    EXPECT_EQ(result, NamedClaim::Result::Taken);
}

TEST(Win32HidPlatform, IdsAreReadFromUsbInterfacePaths)
{
    Win32HidPlatform platform;
    const auto ids = platform.PeekAttributes(DEVICE);
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->VendorID, 0x040B);
    EXPECT_EQ(ids->ProductID, 0x6876);
    const auto upper = platform.PeekAttributes(R"(\\?\HID#VID_046D&PID_C31C&MI_00#8&1&0&0000#{x})");
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->ProductID, 0xC31C);
    EXPECT_FALSE(platform.PeekAttributes(R"(\\?\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002046d_pid&b012#9)"));
    EXPECT_FALSE(platform.PeekAttributes(R"(\\?\hid#vid_04&pid_6876#x)")) << "short id";
}

TEST(Win32HidPlatform, AMissingDeviceFailsToOpenWithoutBeingBusyOrDenied)
{
    Win32HidPlatform platform;
    HidOpenError error = HidOpenError::None;
    EXPECT_FALSE(platform.Open("\\\\?\\hid#vid_040b&pid_6876#gone#{4d1e55b2-f16f-11cf-88cb-001111000030}", error));
    EXPECT_EQ(error, HidOpenError::Failed);
}

TEST(Win32WideToAnsi, ConvertsInTheAnsiCodePageAndRefusesWhatItCannotHold)
{
    EXPECT_EQ(WideToAnsi(u"USB#ROOT_HUB30#4&2a5e0ff&0&0"), "USB#ROOT_HUB30#4&2a5e0ff&0&0");
    EXPECT_EQ(WideToAnsi(u""), "");
    switch (::GetACP()) {
    case 1252:
        EXPECT_EQ(WideToAnsi(u"caf\u00E9"), "caf\xE9");
        EXPECT_FALSE(WideToAnsi(u"\u4E2D")) << "no '?' in its place";
        EXPECT_FALSE(WideToAnsi(u"\u0100")) << "no best-fit 'A' in its place";
        break;
    case 950:
        EXPECT_EQ(WideToAnsi(u"\u4E2D"), "\xA4\xA4");
        EXPECT_FALSE(WideToAnsi(u"\u00E9\u0416"));
        break;
    default:
        GTEST_SKIP() << "ANSI code page " << ::GetACP() << " has no case here";
    }
}

}  // namespace
}  // namespace zelv4
