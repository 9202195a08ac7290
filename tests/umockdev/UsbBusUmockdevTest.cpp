// The libusb bus platform against an emulated sysfs tree and usbfs nodes. Devices
// answer control URBs from a handler in this process; the test binary runs under
// umockdev-wrapper.
#include <gtest/gtest.h>

#include <glib/gstdio.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/UsbBusScan.h"
#include "device/linux/LibusbBusPlatform.h"

namespace zelv4 {
namespace {

using Reply = std::optional<std::vector<std::uint8_t>>;

std::vector<std::uint8_t> StringDescriptor(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// A sysfs tree of USB devices with /dev/bus/usb nodes. Every node answers the usbfs
// ioctls libusb issues; control transfers are answered by the device's script.
class EmulatedUsbBus {
public:
    // What a device answers to a control request (setup packet as on the wire);
    // no value stalls the request.
    using ControlScript = std::function<Reply(const std::uint8_t* setup)>;

    EmulatedUsbBus() : m_testbed(umockdev_testbed_new()) {}
    ~EmulatedUsbBus()
    {
        for (auto* handler : m_handlers) {
            g_object_unref(handler);
        }
        for (auto& [client, urbs] : m_pending) {
            for (auto* urb : urbs) {
                g_object_unref(urb);
            }
        }
        g_object_unref(m_testbed);
    }
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    // Root hub of bus `bus`: sysfs name usbB, device 1.
    std::string AddRootHub(unsigned bus, unsigned ports)
    {
        return AddDevice("usb" + std::to_string(bus), "", bus, 0x1D6B, 0x0002, 0x09, HubScript(ports));
    }

    // A hub or device on `port` of the hub at `parentSyspath`.
    std::string AddHub(const std::string& parentSyspath, unsigned port, unsigned ports)
    {
        return AddDevice(ChildName(parentSyspath, port), parentSyspath, BusOf(parentSyspath), 0x05E3, 0x0610, 0x09,
                         HubScript(ports));
    }

    std::string AddDevice(const std::string& parentSyspath, unsigned port, std::uint16_t vendor, std::uint16_t product,
                          ControlScript script)
    {
        return AddDevice(ChildName(parentSyspath, port), parentSyspath, BusOf(parentSyspath), vendor, product, 0x00,
                         std::move(script));
    }

    // A device that answers the signature request with `reply` (no value: stalls).
    std::string AddSignatureAnswerer(const std::string& parentSyspath, unsigned port, Reply reply)
    {
        return AddDevice(parentSyspath, port, 0x040B, 0x6875, [reply](const std::uint8_t* setup) -> Reply {
            const bool signatureRequest = setup[0] == 0x80 && setup[1] == 6 && setup[2] == 0xFF && setup[3] == 3 &&
                                          setup[4] == 0x76 && setup[5] == 0x65;
            return signatureRequest ? reply : std::nullopt;
        });
    }

    bool WasAskedForSignature(const std::string& devnode)
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_requests.begin(), m_requests.end(), devnode + " 8006ff037665ff00") != m_requests.end();
    }

    // Takes the device's node away: it is listed in sysfs but cannot be opened.
    void RemoveNode(const std::string& syspath)
    {
        const auto& node = m_nodes.at(syspath);
        gchar* root = umockdev_testbed_get_root_dir(m_testbed);
        const std::string nodeFile = std::string(root) + DevNode(node.bus, node.devnum);
        g_free(root);
        GError* error = nullptr;
        umockdev_testbed_detach_ioctl(m_testbed, DevNode(node.bus, node.devnum).c_str(), &error);
        g_clear_error(&error);
        g_unlink(nodeFile.c_str());
    }

private:
    struct Node {
        unsigned bus = 0;
        unsigned devnum = 0;
        std::string name;
    };

    static std::string DevNode(unsigned bus, unsigned devnum)
    {
        char devnode[32];
        std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/%03u/%03u", bus, devnum);
        return devnode;
    }

    // A hub answers its class descriptor with its port count and stalls the rest.
    static ControlScript HubScript(unsigned ports)
    {
        return [ports](const std::uint8_t* setup) -> Reply {
            if (setup[0] == 0xA0 && setup[1] == 6 && setup[3] == 0x29) {
                return std::vector<std::uint8_t>{9, 0x29, static_cast<std::uint8_t>(ports), 0, 0, 50, 0, 0, 0xFF};
            }
            return std::nullopt;
        };
    }

    std::string ChildName(const std::string& parentSyspath, unsigned port) const
    {
        const auto& parent = m_nodes.at(parentSyspath);
        if (parent.name.starts_with("usb")) {
            return std::to_string(parent.bus) + "-" + std::to_string(port);
        }
        return parent.name + "." + std::to_string(port);
    }

    unsigned BusOf(const std::string& syspath) const { return m_nodes.at(syspath).bus; }

    std::string AddDevice(const std::string& name, const std::string& parentSyspath, unsigned bus, std::uint16_t vendor,
                          std::uint16_t product, std::uint8_t deviceClass, ControlScript script)
    {
        const unsigned devnum = ++m_lastDevnum[bus];
        const auto devnodeText = DevNode(bus, devnum);
        const char* devnode = devnodeText.c_str();
        const auto busText = std::to_string(bus);
        const auto devnumText = std::to_string(devnum);
        // sysfs values end with a newline; usb_device nodes are major 189.
        const auto busAttr = busText + "\n";
        const auto devnumAttr = devnumText + "\n";
        const auto devAttr = "189:" + std::to_string((bus - 1) * 128 + devnum - 1);

        gchar* syspath = umockdev_testbed_add_device(
            m_testbed, "usb", name.c_str(), parentSyspath.empty() ? nullptr : parentSyspath.c_str(),
            // attributes
            "busnum", busAttr.c_str(), "devnum", devnumAttr.c_str(), "dev", devAttr.c_str(), "speed", "480\n",
            "bConfigurationValue", "1\n", "bNumConfigurations", "1\n", nullptr,
            // properties
            "DEVTYPE", "usb_device", "DEVNAME", devnode, "BUSNUM", busText.c_str(), "DEVNUM", devnumText.c_str(),
            nullptr);
        std::string path = syspath;
        g_free(syspath);

        auto descriptors = Descriptors(vendor, product, deviceClass);
        umockdev_testbed_set_attribute_binary(m_testbed, path.c_str(), "descriptors", descriptors.data(),
                                              static_cast<gint>(descriptors.size()));

        // The node itself: an empty file whose ioctls the handler below answers.
        gchar* root = umockdev_testbed_get_root_dir(m_testbed);
        const std::string nodeFile = std::string(root) + devnode;
        g_free(root);
        gchar* nodeDir = g_path_get_dirname(nodeFile.c_str());
        g_mkdir_with_parents(nodeDir, 0755);
        g_free(nodeDir);
        g_file_set_contents(nodeFile.c_str(), "", 0, nullptr);

        m_nodes[path] = Node{bus, devnum, name};
        m_scripts[devnode] = std::move(script);

        auto* handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&EmulatedUsbBus::OnIoctl), this);
        g_signal_connect(handler, "client-vanished", G_CALLBACK(&EmulatedUsbBus::OnVanished), this);
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(m_testbed, devnode, handler, &error)) {
            ADD_FAILURE() << "attach_ioctl " << devnode << ": " << (error ? error->message : "?");
            g_clear_error(&error);
        }
        m_handlers.push_back(handler);
        return path;
    }

    static std::vector<std::uint8_t> Descriptors(std::uint16_t vendor, std::uint16_t product, std::uint8_t cls)
    {
        return {
            // device
            18,
            1,
            0x00,
            0x02,
            cls,
            0,
            0,
            64,
            static_cast<std::uint8_t>(vendor & 0xFF),
            static_cast<std::uint8_t>(vendor >> 8),
            static_cast<std::uint8_t>(product & 0xFF),
            static_cast<std::uint8_t>(product >> 8),
            0x00,
            0x01,
            0,
            0,
            0,
            1,
            // configuration with one interface and no endpoints
            9,
            2,
            18,
            0,
            1,
            1,
            0,
            0x80,
            50,
            9,
            4,
            0,
            0,
            0,
            cls,
            0,
            0,
            0,
        };
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<EmulatedUsbBus*>(self)->HandleIoctl(client);
    }

    static void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* bus = static_cast<EmulatedUsbBus*>(self);
        std::lock_guard lock(bus->m_mutex);
        const auto it = bus->m_pending.find(client);
        if (it != bus->m_pending.end()) {
            for (auto* urb : it->second) {
                g_object_unref(urb);
            }
            bus->m_pending.erase(it);
        }
    }

    gboolean HandleIoctl(UMockdevIoctlClient* client)
    {
        const auto request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        GError* error = nullptr;

        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), &error);
            if (caps == nullptr) {
                break;
            }
            const std::uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            std::memcpy(caps->data, &value, sizeof value);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
            if (urbData == nullptr) {
                break;
            }
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < 8) {
                umockdev_ioctl_client_complete(client, -1, EINVAL);
                return TRUE;
            }
            UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                                    static_cast<gsize>(urb->buffer_length), &error);
            if (buffer == nullptr) {
                break;
            }
            Control(umockdev_ioctl_client_get_devnode(client), *urb, buffer->data);
            // The transfer is done at once; the next reap hands it back.
            std::lock_guard lock(m_mutex);
            m_pending[client].push_back(static_cast<UMockdevIoctlData*>(g_object_ref(urbData)));
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            UMockdevIoctlData* urbData = nullptr;
            {
                std::lock_guard lock(m_mutex);
                auto& queue = m_pending[client];
                if (!queue.empty()) {
                    urbData = queue.front();
                    queue.pop_front();
                }
            }
            if (urbData == nullptr) {
                umockdev_ioctl_client_complete(client, -1, EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
            const bool set = target != nullptr && umockdev_ioctl_data_set_ptr(target, 0, urbData);
            g_object_unref(urbData);
            if (!set) {
                break;
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_DISCARDURB:
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        default:
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return TRUE;
        }
        if (error != nullptr) {
            ADD_FAILURE() << "ioctl emulation: " << error->message;
            g_clear_error(&error);
        }
        umockdev_ioctl_client_complete(client, -1, EIO);
        return TRUE;
    }

    void Control(const std::string& devnode, usbdevfs_urb& urb, std::uint8_t* buffer)
    {
        const std::uint8_t* setup = buffer;
        const unsigned wLength = setup[6] | (setup[7] << 8);
        {
            std::lock_guard lock(m_mutex);
            char text[32];
            std::snprintf(text, sizeof text, " %02x%02x%02x%02x%02x%02x%02x%02x", setup[0], setup[1], setup[2],
                          setup[3], setup[4], setup[5], setup[6], setup[7]);
            m_requests.push_back(devnode + text);
        }
        const auto it = m_scripts.find(devnode);
        const Reply reply = it == m_scripts.end() ? std::nullopt : it->second(setup);
        if (!reply) {
            urb.status = -EPIPE;  // a stall
            urb.actual_length = 0;
            return;
        }
        const auto room =
            std::min<std::size_t>({reply->size(), wLength, static_cast<std::size_t>(urb.buffer_length - 8)});
        std::memcpy(buffer + 8, reply->data(), room);
        urb.status = 0;
        urb.actual_length = static_cast<int>(room);
    }

    UMockdevTestbed* m_testbed;
    std::vector<UMockdevIoctlBase*> m_handlers;
    std::map<std::string, Node> m_nodes;
    std::map<unsigned, unsigned> m_lastDevnum;
    std::map<std::string, ControlScript> m_scripts;

    std::mutex m_mutex;
    std::map<UMockdevIoctlClient*, std::deque<UMockdevIoctlData*>> m_pending;
    std::vector<std::string> m_requests;
};

class UsbBusUmockdevTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(umockdev_in_mock_environment()) << "run this binary under umockdev-wrapper";
        SetUsbBusPlatform(&platform);
    }
    void TearDown() override { SetUsbBusPlatform(nullptr); }

    std::vector<UsbBusEvent> Scan()
    {
        std::vector<UsbBusEvent> events;
        CountBusDevices([&](const UsbBusEvent& event) { events.push_back(event); });
        return events;
    }

    // Declared first: the emulated nodes must be there before libusb looks.
    EmulatedUsbBus bus;
    LibusbBusPlatform platform;
};

TEST_F(UsbBusUmockdevTest, SignatureDeviceBehindExternalHubIsCounted)
{
    const auto root = bus.AddRootHub(1, 4);
    const auto hub = bus.AddHub(root, 2, 4);
    bus.AddSignatureAnswerer(hub, 3, StringDescriptor(u"ZEL-V4"));
    bus.AddSignatureAnswerer(root, 1, std::nullopt);  // some device that stalls the request

    const auto events = Scan();
    EXPECT_EQ(g_nBusMatches, 1);

    const auto answered = std::find_if(events.begin(), events.end(),
                                       [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::DeviceAnswered; });
    ASSERT_NE(answered, events.end());
    EXPECT_EQ(answered->hubName, "usb:1-2");
    EXPECT_EQ(answered->ports, (std::vector<unsigned>{2, 3}));
    EXPECT_EQ(answered->text, u"ZEL-V4");

    // The port count comes from the hub descriptor, not from the ports in use.
    const auto hubScanned = std::find_if(events.begin(), events.end(), [](const UsbBusEvent& e) {
        return e.kind == UsbBusEventKind::HubScanned && e.hubName == "usb:1-2";
    });
    ASSERT_NE(hubScanned, events.end());
    EXPECT_EQ(hubScanned->portCount, 4u);

    // Root hub 001, external hub 002, signature device 003, stalling device 004:
    // the devices are asked, the hubs never.
    EXPECT_TRUE(bus.WasAskedForSignature("/dev/bus/usb/001/003"));
    EXPECT_TRUE(bus.WasAskedForSignature("/dev/bus/usb/001/004"));
    EXPECT_FALSE(bus.WasAskedForSignature("/dev/bus/usb/001/001"));
    EXPECT_FALSE(bus.WasAskedForSignature("/dev/bus/usb/001/002"));
}

TEST_F(UsbBusUmockdevTest, DeviceThatCannotBeOpenedIsNotAskedAndTheScanGoesOn)
{
    const auto root = bus.AddRootHub(1, 2);
    const auto gone = bus.AddSignatureAnswerer(root, 1, StringDescriptor(u"ZEL-V4"));
    bus.RemoveNode(gone);
    bus.AddSignatureAnswerer(root, 2, StringDescriptor(u"ZEL-V4"));

    const auto events = Scan();
    EXPECT_EQ(g_nBusMatches, 1);
    const auto notAsked = std::find_if(events.begin(), events.end(),
                                       [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::DeviceNotAsked; });
    ASSERT_NE(notAsked, events.end());
    EXPECT_EQ(notAsked->ports, std::vector<unsigned>{1});
    EXPECT_EQ(notAsked->error, UsbRequestError::NotOpened);
}

TEST_F(UsbBusUmockdevTest, LowerCaseAnswerIsNotCounted)
{
    const auto root = bus.AddRootHub(1, 2);
    bus.AddSignatureAnswerer(root, 1, StringDescriptor(u"zel-v4"));

    const auto events = Scan();
    EXPECT_EQ(g_nBusMatches, 0);
    const auto answered = std::find_if(events.begin(), events.end(),
                                       [](const UsbBusEvent& e) { return e.kind == UsbBusEventKind::DeviceAnswered; });
    ASSERT_NE(answered, events.end()) << "the device should have been asked and answered";
    EXPECT_EQ(answered->text, u"zel-v4");
    EXPECT_FALSE(answered->matched);
}

TEST_F(UsbBusUmockdevTest, OddLengthReplyIsIgnored)
{
    const auto root = bus.AddRootHub(1, 2);
    auto odd = StringDescriptor(u"ZEL-V4");
    odd.push_back(0);
    odd[0] = static_cast<std::uint8_t>(odd.size());
    bus.AddSignatureAnswerer(root, 2, odd);

    const auto events = Scan();
    EXPECT_EQ(g_nBusMatches, 0);
    const auto rejected = std::find_if(events.begin(), events.end(), [](const UsbBusEvent& e) {
        return e.kind == UsbBusEventKind::DeviceReplyRejected;
    });
    ASSERT_NE(rejected, events.end());
    EXPECT_EQ(rejected->reply, odd);
}

TEST_F(UsbBusUmockdevTest, ControllersAreTheRootHubsInBusOrder)
{
    const auto second = bus.AddRootHub(3, 1);
    const auto first = bus.AddRootHub(1, 1);
    bus.AddSignatureAnswerer(second, 1, StringDescriptor(u"ZEL-V4"));
    bus.AddSignatureAnswerer(first, 1, StringDescriptor(u"ZEL-V4"));

    std::vector<std::pair<unsigned, std::string>> scanned;
    CountBusDevices([&](const UsbBusEvent& e) {
        if (e.kind == UsbBusEventKind::HubScanned) {
            scanned.emplace_back(e.controller, e.hubName);
        }
    });
    EXPECT_EQ(g_nBusMatches, 2);
    EXPECT_EQ(scanned, (std::vector<std::pair<unsigned, std::string>>{{0, "usb:1"}, {1, "usb:3"}}));
}

}  // namespace
}  // namespace zelv4
