// The hidraw platform and the ISP device search against an emulated sysfs tree and
// /dev/hidraw nodes. The hidraw ioctls are answered by a handler in this process;
// the test binary runs under umockdev-wrapper.
#include <gtest/gtest.h>

#include <glib/gstdio.h>
#include <linux/capability.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/IspConstants.h"
#include "device/IspDeviceConnection.h"
#include "device/linux/HidrawPlatform.h"

namespace zelv4 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Vendor page, one application collection, a feature report of `bytes` bytes.
Bytes FeatureOnlyDescriptor(std::uint8_t bytes)
{
    return {0x06, 0x00, 0xFF, 0x09, 0x01,  0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
            0x00, 0x75, 0x08, 0x95, bytes, 0x09, 0x01, 0xB1, 0x02, 0xC0};
}

// A boot keyboard: input and output reports, no feature report.
const Bytes KEYBOARD_DESCRIPTOR = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
};

// What one emulated hidraw node answers.
struct FakeHidraw {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    Bytes descriptor;
    bool descriptorFails = false;
    // The device was unplugged: every ioctl on its node fails with ENODEV.
    bool gone = false;
    // Bytes the device falls short by on every feature transfer.
    int shortBy = 0;
    Bytes featureReply;
    std::vector<Bytes> featuresSet;  // every HIDIOCSFEATURE, as received
};

class EmulatedHidraw {
public:
    EmulatedHidraw() : m_testbed(umockdev_testbed_new()) {}
    ~EmulatedHidraw()
    {
        for (UMockdevIoctlBase* handler : m_handlers)
            g_object_unref(handler);
        g_object_unref(m_testbed);
    }
    EmulatedHidraw(const EmulatedHidraw&) = delete;
    EmulatedHidraw& operator=(const EmulatedHidraw&) = delete;

    // A USB HID device with one hidraw node, /dev/hidraw<number>.
    FakeHidraw& Add(unsigned number, FakeHidraw fake)
    {
        const std::string n = std::to_string(number);
        char ids[64];
        std::snprintf(ids, sizeof ids, "%04x\n", fake.vendor);
        const std::string vendor = ids;
        std::snprintf(ids, sizeof ids, "%04x\n", fake.product);
        const std::string product = ids;
        std::snprintf(ids, sizeof ids, "0003:%04X:%04X.%04u", fake.vendor, fake.product, number + 1);
        const std::string hidName = ids;
        const std::string usbName = "1-" + std::to_string(number + 1);

        gchar* usb = umockdev_testbed_add_device(m_testbed, "usb", usbName.c_str(), nullptr, "idVendor", vendor.c_str(),
                                                 "idProduct", product.c_str(), "bcdDevice", "0100\n", nullptr,
                                                 "DEVTYPE", "usb_device", nullptr);
        gchar* iface = umockdev_testbed_add_device(m_testbed, "usb", (usbName + ":1.0").c_str(), usb, nullptr,
                                                   "DEVTYPE", "usb_interface", nullptr);
        gchar* hid = umockdev_testbed_add_device(m_testbed, "hid", hidName.c_str(), iface, nullptr, nullptr);
        const std::string devnode = "/dev/hidraw" + n;
        const std::string dev = "244:" + n + "\n";
        gchar* hidraw = umockdev_testbed_add_device(m_testbed, "hidraw", ("hidraw" + n).c_str(), hid, "dev",
                                                    dev.c_str(), nullptr, "DEVNAME", devnode.c_str(), nullptr);
        g_free(usb);
        g_free(iface);
        g_free(hid);
        g_free(hidraw);

        // The node: an empty file whose ioctls the handler answers.
        const std::string nodeFile = NodeFile(devnode);
        g_mkdir_with_parents((RootDir() + "/dev").c_str(), 0755);
        g_file_set_contents(nodeFile.c_str(), "", 0, nullptr);

        FakeHidraw& stored = *(m_fakes[devnode] = std::make_unique<FakeHidraw>(std::move(fake)));
        UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&EmulatedHidraw::OnIoctl), this);
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(m_testbed, devnode.c_str(), handler, &error)) {
            ADD_FAILURE() << "attach_ioctl " << devnode << ": " << (error ? error->message : "?");
            g_clear_error(&error);
        }
        m_handlers.push_back(handler);
        return stored;
    }

    std::string NodeFile(const std::string& devnode) const { return RootDir() + devnode; }

    std::vector<Bytes> FeaturesSet(const std::string& devnode)
    {
        std::lock_guard lock(m_mutex);
        return m_fakes.at(devnode)->featuresSet;
    }

    // Descriptors of this process open on the emulated hidraw nodes. (Counting all
    // descriptors would not do: umockdev's ioctl server in this process opens and
    // closes sockets of its own at any time.)
    std::size_t OpenNodes() const
    {
        const std::string nodes = RootDir() + "/dev/hidraw";
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const auto target = std::filesystem::read_symlink(entry.path(), error);
            if (!error && target.string().starts_with(nodes))
                ++count;
        }
        return count;
    }

    // Unplugs the device behind a node that may still be open.
    void Unplug(const std::string& devnode)
    {
        std::lock_guard lock(m_mutex);
        m_fakes.at(devnode)->gone = true;
    }

private:
    std::string RootDir() const
    {
        gchar* root = umockdev_testbed_get_root_dir(m_testbed);
        std::string result = root;
        g_free(root);
        return result;
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<EmulatedHidraw*>(self)->HandleIoctl(client);
    }

    // Resolves the ioctl's argument as `length` bytes of client memory.
    static UMockdevIoctlData* Resolve(UMockdevIoctlClient* client, std::size_t length)
    {
        GError* error = nullptr;
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, length, &error);
        g_clear_error(&error);
        return data;
    }

    // Runs on umockdev's worker thread.
    gboolean HandleIoctl(UMockdevIoctlClient* client)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_fakes.find(umockdev_ioctl_client_get_devnode(client));
        if (it == m_fakes.end())
            return FALSE;
        FakeHidraw& fake = *it->second;
        const auto request = static_cast<unsigned>(umockdev_ioctl_client_get_request(client));
        const unsigned size = _IOC_SIZE(request);
        long result = -1;
        int error = ENOTTY;
        UMockdevIoctlData* data = nullptr;

        if (fake.gone) {
            error = ENODEV;
        } else if (request == HIDIOCGRAWINFO && (data = Resolve(client, sizeof(hidraw_devinfo)))) {
            hidraw_devinfo info{};
            info.bustype = 3;  // BUS_USB
            info.vendor = static_cast<__s16>(fake.vendor);
            info.product = static_cast<__s16>(fake.product);
            std::memcpy(data->data, &info, sizeof info);
            result = 0;
        } else if (request == HIDIOCGRDESCSIZE && (data = Resolve(client, sizeof(int)))) {
            const int descriptorSize = static_cast<int>(fake.descriptor.size());
            std::memcpy(data->data, &descriptorSize, sizeof descriptorSize);
            result = 0;
        } else if (request == HIDIOCGRDESC && (data = Resolve(client, sizeof(hidraw_report_descriptor)))) {
            auto* descriptor = reinterpret_cast<hidraw_report_descriptor*>(data->data);
            if (fake.descriptorFails || descriptor->size != fake.descriptor.size()) {
                error = EIO;
            } else {
                std::memcpy(descriptor->value, fake.descriptor.data(), fake.descriptor.size());
                result = 0;
            }
        } else if (request == HIDIOCSFEATURE(size) && (data = Resolve(client, size))) {
            fake.featuresSet.emplace_back(data->data, data->data + size);
            result = static_cast<long>(size) - fake.shortBy;
        } else if (request == HIDIOCGFEATURE(size) && (data = Resolve(client, size))) {
            for (unsigned i = 0; i < size; ++i)
                data->data[i] = i < fake.featureReply.size() ? fake.featureReply[i] : 0;
            result = static_cast<long>(size) - fake.shortBy;
        }
        umockdev_ioctl_client_complete(client, result, result < 0 ? error : 0);
        if (data != nullptr)
            g_object_unref(data);
        return TRUE;
    }

    UMockdevTestbed* m_testbed;
    std::vector<UMockdevIoctlBase*> m_handlers;
    std::mutex m_mutex;
    std::map<std::string, std::unique_ptr<FakeHidraw>> m_fakes;
};

FakeHidraw ZelV4(std::uint8_t featureBytes = 40)
{
    FakeHidraw fake;
    fake.vendor = ISP_VENDOR_ID;
    fake.product = ISP_PRODUCT_ID;
    fake.descriptor = FeatureOnlyDescriptor(featureBytes);
    return fake;
}

FakeHidraw Keyboard()
{
    FakeHidraw fake;
    fake.vendor = 0x046D;
    fake.product = 0xC31C;
    fake.descriptor = KEYBOARD_DESCRIPTOR;
    return fake;
}

class HidrawSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseIspDevice();
        g_IspCaps = HidCaps{};
        SetHidPlatform(&platform);
        SetPlainMessageHandler([this](const std::string& text) { boxes.push_back(text); });
    }
    void TearDown() override
    {
        CloseIspDevice();
        SetHidPlatform(nullptr);
        SetPlainMessageHandler(nullptr);
    }

    EmulatedHidraw machine;
    HidrawPlatform platform;
    std::vector<std::string> boxes;
};

TEST_F(HidrawSearchTest, MatchingDeviceIsOpenedWithFeatureLengthFromItsDescriptor)
{
    machine.Add(0, Keyboard());
    FakeHidraw& isp = machine.Add(1, ZelV4(40));
    isp.featureReply = Bytes(ISP_REPORT_SIZE, 0x5A);

    FindIspDevice();
    ASSERT_NE(g_hIspDevice, nullptr) << g_strStatus;
    EXPECT_EQ(g_IspCaps.FeatureReportByteLength, 41);
    EXPECT_EQ(g_IspCaps.UsagePage, 0xFF00);
    EXPECT_EQ(g_IspAttributes.VendorID, ISP_VENDOR_ID);
    EXPECT_EQ(g_IspAttributes.VersionNumber, 0x0100);
    EXPECT_NE(g_strStatus.find("FeatureReportByteLength: 41 \n"), std::string::npos) << g_strStatus;
    EXPECT_TRUE(boxes.empty());

    // Transfers go out with exactly the length asked for.
    Bytes request(ISP_REPORT_SIZE, 0);
    request[ISP_OFFSET_COMMAND] = ISP_CMD_READ_BLOCK;
    EXPECT_TRUE(g_hIspDevice->SetFeature(request.data(), request.size()));
    EXPECT_EQ(machine.FeaturesSet("/dev/hidraw1"), std::vector<Bytes>{request});
    Bytes reply(ISP_REPORT_SIZE, 0);
    EXPECT_TRUE(g_hIspDevice->GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply, Bytes(ISP_REPORT_SIZE, 0x5A));
}

TEST_F(HidrawSearchTest, NodesAreTakenInNumericOrderAndTheLaterMatchWins)
{
    // Lexically hidraw10 sorts before hidraw2; numerically it comes after.
    machine.Add(2, ZelV4(40));
    machine.Add(10, ZelV4(64));
    FindIspDevice();
    ASSERT_NE(g_hIspDevice, nullptr) << g_strStatus;
    EXPECT_EQ(g_IspCaps.FeatureReportByteLength, 65);
}

TEST_F(HidrawSearchTest, NonMatchingDeviceIsNotOpenedAsTheIspDevice)
{
    machine.Add(0, Keyboard());
    FindIspDevice();
    EXPECT_EQ(g_hIspDevice, nullptr);
    EXPECT_EQ(g_IspAttributes.VendorID, 0x046D);
    EXPECT_EQ(g_strStatus.rfind(" : 4d1e55b2-f16f-11cf-88cb-001111000030\n"), g_strStatus.size() - 40);
    EXPECT_TRUE(IspDeniedPaths().empty());
}

TEST_F(HidrawSearchTest, UnreadableDescriptorIsThePreparsedDataFailure)
{
    FakeHidraw isp = ZelV4();
    isp.descriptorFails = true;
    machine.Add(0, isp);
    FindIspDevice();
    EXPECT_NE(g_hIspDevice, nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"Get HID PREPARED DATA fail! \n"});
    EXPECT_EQ(g_IspCaps.FeatureReportByteLength, 0);
}

TEST_F(HidrawSearchTest, ShortFeatureTransferIsAFailure)
{
    FakeHidraw isp = ZelV4();
    isp.shortBy = 1;
    machine.Add(0, isp);
    FindIspDevice();
    ASSERT_NE(g_hIspDevice, nullptr);
    Bytes report(ISP_REPORT_SIZE, 0);
    EXPECT_FALSE(g_hIspDevice->SetFeature(report.data(), report.size()));
    EXPECT_FALSE(g_hIspDevice->GetFeature(report.data(), report.size()));
}

TEST_F(HidrawSearchTest, EveryNodeTheSearchOpensIsClosedOnEveryPath)
{
    machine.Add(0, ZelV4(40));  // replaced by the later match
    machine.Add(1, Keyboard());
    machine.Add(2, ZelV4(64));
    machine.Add(3, Keyboard());

    FindIspDevice();
    ASSERT_NE(g_hIspDevice, nullptr);
    EXPECT_EQ(g_IspCaps.FeatureReportByteLength, 65);
    EXPECT_EQ(machine.OpenNodes(), 1u) << "only the device in use stays open";
    CloseIspDevice();
    EXPECT_EQ(machine.OpenNodes(), 0u);

    // The attribute query failing ends the search early: the earlier match stays
    // open and the failing node is closed.
    machine.Unplug("/dev/hidraw1");
    FindIspDevice();
    ASSERT_NE(g_hIspDevice, nullptr);
    EXPECT_EQ(g_IspCaps.FeatureReportByteLength, 41);
    EXPECT_EQ(machine.OpenNodes(), 1u);
    CloseIspDevice();
    EXPECT_EQ(machine.OpenNodes(), 0u);
}

TEST_F(HidrawSearchTest, DeviceUnpluggedMidOperationFailsItsTransfers)
{
    machine.Add(0, ZelV4(40));
    FindIspDevice();
    ASSERT_NE(g_hIspDevice, nullptr);
    Bytes report(ISP_REPORT_SIZE, 0);
    ASSERT_TRUE(g_hIspDevice->SetFeature(report.data(), report.size()));

    machine.Unplug("/dev/hidraw0");
    EXPECT_FALSE(g_hIspDevice->SetFeature(report.data(), report.size()));
    EXPECT_FALSE(g_hIspDevice->GetFeature(report.data(), report.size()));
    CloseIspDevice();
    EXPECT_EQ(machine.OpenNodes(), 0u);

    // The next search finds no device behind the stale node.
    FindIspDevice();
    EXPECT_EQ(g_hIspDevice, nullptr);
    EXPECT_EQ(machine.OpenNodes(), 0u);
}

// Takes CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH out of this process's effective
// set, so that file modes apply even to root (the tests run as root in CI).
bool DropFileAccessOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return syscall(SYS_capset, &header, data) == 0;
}

// The node exists but its mode lets nobody open it. The check runs in a child
// process that gives up root's file access override first, so open() really
// fails with EACCES there, as it does for a user without the udev rule.
TEST_F(HidrawSearchTest, NodeWithoutPermissionIsSkippedAndRemembered)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    machine.Add(0, ZelV4(40));
    machine.Add(1, ZelV4(64));
    ASSERT_EQ(g_chmod(machine.NodeFile("/dev/hidraw1").c_str(), 0), 0);

    EXPECT_EXIT(
        {
            if (!DropFileAccessOverride()) {
                std::fprintf(stderr, "capset failed\n");
                std::_Exit(2);
            }
            HidOpenError error = HidOpenError::None;
            const bool opened = platform.Open("/dev/hidraw1", error) != nullptr;
            FindIspDevice();
            const bool ok = !opened && error == HidOpenError::PermissionDenied && g_hIspDevice &&
                            g_IspCaps.FeatureReportByteLength == 41 &&
                            IspDeniedPaths() == std::vector<std::string>{"/dev/hidraw1"};
            std::fprintf(stderr, ok ? "denied path remembered\n" : "unexpected result\n");
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "denied path remembered");
}

}  // namespace
}  // namespace zelv4
