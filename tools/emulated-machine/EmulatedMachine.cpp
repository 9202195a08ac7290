#include "EmulatedMachine.h"

#include <glib/gstdio.h>
#include <linux/hidraw.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "EmulatedLoader.h"

namespace zelv4 {

namespace {

constexpr unsigned BUS = 1;
constexpr unsigned ROOT_HUB_PORTS = 4;
constexpr unsigned EXTERNAL_HUB_PORTS = 4;
constexpr unsigned LOADER_PORT = 1;
constexpr unsigned HUB_PORT = 2;
constexpr unsigned KEYBOARD_PORT = 1;   // on the external hub
constexpr unsigned SIGNATURE_PORT = 3;  // on the external hub

constexpr std::uint16_t LOADER_VENDOR = 0x040B;
constexpr std::uint16_t LOADER_PRODUCT = 0x6876;
constexpr std::uint16_t CHIP_PRODUCT = 0x6870;  // the same chip out of ISP mode
constexpr std::uint16_t KEYBOARD_VENDOR = 0x1A2C;
constexpr std::uint16_t KEYBOARD_PRODUCT = 0x0E24;

constexpr std::uint8_t CLASS_PER_INTERFACE = 0x00;
constexpr std::uint8_t CLASS_HID = 0x03;
constexpr std::uint8_t CLASS_HUB = 0x09;

// usb_device nodes are char major 189, minor (bus - 1) * 128 + devnum - 1.
constexpr unsigned USB_DEVICE_MAJOR = 189;
// hidraw's major is dynamic; this is what a typical machine gets.
constexpr unsigned HIDRAW_MAJOR = 240;
// The kernel refuses longer descriptor reads (HID_MAX_DESCRIPTOR_SIZE - 1).
constexpr std::uint32_t HIDRAW_MAX_DESCRIPTOR = 4095;

// Standard requests, as a device sees them in the setup packet.
constexpr std::uint8_t REQUEST_GET_DESCRIPTOR = 0x06;
constexpr std::uint8_t DIR_IN_STANDARD_DEVICE = 0x80;
constexpr std::uint8_t DIR_IN_CLASS_DEVICE = 0xA0;
constexpr std::uint8_t DESCRIPTOR_DEVICE = 0x01;
constexpr std::uint8_t DESCRIPTOR_CONFIGURATION = 0x02;
constexpr std::uint8_t DESCRIPTOR_STRING = 0x03;
constexpr std::uint8_t DESCRIPTOR_HUB = 0x29;
constexpr std::size_t SETUP_SIZE = 8;
constexpr std::size_t DEVICE_DESCRIPTOR_SIZE = 18;
// The signature: string descriptor 0xFF in language 0x6576.
constexpr std::uint8_t SIGNATURE_INDEX = 0xFF;
constexpr std::uint16_t SIGNATURE_LANGUAGE = 0x6576;

// The hidraw ioctls, by number ('H' type); the feature ones carry their length.
constexpr unsigned HIDRAW_NR_SFEATURE = 0x06;
constexpr unsigned HIDRAW_NR_GFEATURE = 0x07;

std::vector<std::uint8_t> KeyboardDescriptor()
{
    // Boot keyboard: modifier bits, a reserved byte, LED output bits, six key codes.
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
            0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x03, 0x05, 0x08, 0x19, 0x01,
            0x29, 0x03, 0x75, 0x01, 0x95, 0x03, 0x91, 0x02, 0x95, 0x05, 0x91, 0x03, 0x05, 0x07, 0x19, 0x00,
            0x29, 0xFF, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x06, 0x81, 0x00, 0xC0};
}

std::string Text(const char* format, unsigned a, unsigned b = 0, unsigned c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string Utf8(const std::u16string& text)
{
    std::string out;
    for (const char16_t unit : text)
        out += unit < 0x80 ? static_cast<char>(unit) : '?';
    return out;
}

// umockdev_testbed_add_device() checks that a parent exists by looking at /sys, which
// is the testbed's only in a process under the preload library; this one is not.
// So every device is added without a parent, named by its whole path below
// /sys/devices, which builds the same tree.
std::string Below(const std::string& parentSyspath, const std::string& name)
{
    constexpr std::string_view DEVICES = "/sys/devices/";
    if (parentSyspath.empty())
        return name;
    return parentSyspath.substr(DEVICES.size()) + "/" + name;
}

UMockdevIoctlData* Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length)
{
    GError* error = nullptr;
    UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    g_clear_error(&error);
    return resolved;
}

}  // namespace

std::vector<std::uint8_t> EmulatedMachine::LoaderDescriptor(std::size_t featureLength)
{
    const auto featureBytes = static_cast<unsigned>(featureLength - 1);
    std::vector<std::uint8_t> d = {
        0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x95, 0x08,        //   Report Count (8)
        0x09, 0x02,        //   Usage (2)
        0x81, 0x02,        //   Input (Data, Var, Abs)
        0x95, 0x08,        //   Report Count (8)
        0x09, 0x03,        //   Usage (3)
        0x91, 0x02,        //   Output (Data, Var, Abs)
    };
    if (featureBytes <= 0xFF) {
        d.insert(d.end(), {0x95, static_cast<std::uint8_t>(featureBytes)});  // Report Count
    } else {
        d.insert(d.end(),
                 {0x96, static_cast<std::uint8_t>(featureBytes & 0xFF), static_cast<std::uint8_t>(featureBytes >> 8)});
    }
    d.insert(d.end(), {
                          0x09, 0x04,  //   Usage (4)
                          0xB1, 0x02,  //   Feature (Data, Var, Abs)
                          0xC0,        // End Collection
                      });
    return d;
}

EmulatedMachine::EmulatedMachine(EmulatedLoader& loader, std::size_t featureLength, const MachineOptions& options,
                                 std::FILE* log)
    : m_loader(loader), m_featureLength(featureLength), m_log(log), m_testbed(umockdev_testbed_new())
{
    const std::string root = AddUsb("usb1", "", 0x1D6B, 0x0002, CLASS_HUB, CLASS_HUB, ROOT_HUB_PORTS);
    const std::string loaderUsb =
        AddUsb(Text("%u-%u", BUS, LOADER_PORT), root, LOADER_VENDOR, LOADER_PRODUCT, CLASS_PER_INTERFACE, CLASS_HID, 0);
    const std::string hub =
        AddUsb(Text("%u-%u", BUS, HUB_PORT), root, 0x05E3, 0x0610, CLASS_HUB, CLASS_HUB, EXTERNAL_HUB_PORTS);
    std::string keyboardUsb;
    if (options.otherHidraw != OtherHidraw::None) {
        keyboardUsb = AddUsb(Text("%u-%u.%u", BUS, HUB_PORT, KEYBOARD_PORT), hub, KEYBOARD_VENDOR, KEYBOARD_PRODUCT,
                             CLASS_PER_INTERFACE, CLASS_HID, 0);
    }
    const std::string chip = AddUsb(Text("%u-%u.%u", BUS, HUB_PORT, SIGNATURE_PORT), hub, LOADER_VENDOR, CHIP_PRODUCT,
                                    CLASS_PER_INTERFACE, 0xFF, 0);
    for (auto& [devnode, node] : m_usb) {
        if (node.name != Text("%u-%u.%u", BUS, HUB_PORT, SIGNATURE_PORT) || !options.signature)
            continue;
        std::vector<std::uint8_t> reply{static_cast<std::uint8_t>(2 + 2 * options.signature->size()),
                                        DESCRIPTOR_STRING};
        for (const char16_t unit : *options.signature) {
            reply.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            reply.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        node.signatureReply = reply;
    }
    m_description.push_back(Text("usb 1-%u.%u: device %04x:", HUB_PORT, SIGNATURE_PORT, LOADER_VENDOR) +
                            Text("%04x behind hub 1-%u, ", CHIP_PRODUCT, HUB_PORT) +
                            (options.signature
                                 ? "answers the signature request with \"" + Utf8(*options.signature) + "\""
                                 : std::string("stalls the signature request")));

    HidrawNode isp{LOADER_VENDOR, LOADER_PRODUCT, LoaderDescriptor(featureLength), true};
    HidrawNode keyboard{KEYBOARD_VENDOR, KEYBOARD_PRODUCT, KeyboardDescriptor(), false};
    const std::string keyboardName = Text("%u-%u.%u", BUS, HUB_PORT, KEYBOARD_PORT);
    if (options.otherHidraw == OtherHidraw::Before)
        AddHidraw(1, keyboardUsb, keyboardName, keyboard);
    AddHidraw(0, loaderUsb, Text("%u-%u", BUS, LOADER_PORT), isp);
    if (options.otherHidraw == OtherHidraw::After)
        AddHidraw(1, keyboardUsb, keyboardName, keyboard);
    (void)chip;
}

EmulatedMachine::~EmulatedMachine()
{
    for (UMockdevIoctlBase* handler : m_handlers)
        g_object_unref(handler);
    for (auto& [client, urbs] : m_reapable) {
        for (UMockdevIoctlData* urb : urbs)
            g_object_unref(urb);
    }
    g_object_unref(m_testbed);
}

std::string EmulatedMachine::RootDir() const
{
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    std::string result = root;
    g_free(root);
    return result;
}

std::string EmulatedMachine::Describe() const
{
    std::string text;
    for (const std::string& line : m_description)
        text += line + "\n";
    return text;
}

unsigned EmulatedMachine::ForeignTransfers() const
{
    std::lock_guard lock(m_mutex);
    return m_foreignTransfers;
}

void EmulatedMachine::Note(const std::string& line)
{
    if (m_log != nullptr) {
        std::fprintf(m_log, "machine: %s\n", line.c_str());
        std::fflush(m_log);
    }
}

// An empty file stands for the node; the preload library makes it look like a
// character device with the numbers of the device's `dev` attribute.
void EmulatedMachine::MakeNode(const std::string& devnode)
{
    const std::string file = RootDir() + devnode;
    gchar* dir = g_path_get_dirname(file.c_str());
    g_mkdir_with_parents(dir, 0755);
    g_free(dir);
    g_file_set_contents(file.c_str(), "", 0, nullptr);

    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&EmulatedMachine::OnIoctl), this);
    g_signal_connect(handler, "client-vanished", G_CALLBACK(&EmulatedMachine::OnVanished), this);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_testbed, devnode.c_str(), handler, &error)) {
        m_error += "cannot attach the ioctl handler of " + devnode + ": " + (error ? error->message : "?") + "\n";
        g_clear_error(&error);
    }
    m_handlers.push_back(handler);
}

std::string EmulatedMachine::AddUsb(const std::string& name, const std::string& parent, std::uint16_t vendor,
                                    std::uint16_t product, std::uint8_t deviceClass, std::uint8_t interfaceClass,
                                    unsigned hubPorts)
{
    const unsigned devnum = m_nextDevnum++;
    const std::string devnode = Text("/dev/bus/usb/%03u/%03u", BUS, devnum);
    const std::string busnum = Text("%u\n", BUS);
    const std::string devnumText = Text("%u\n", devnum);
    const std::string dev = Text("%u:%u\n", USB_DEVICE_MAJOR, (BUS - 1) * 128 + devnum - 1);
    const std::string busProperty = Text("%03u", BUS);
    const std::string devnumProperty = Text("%03u", devnum);
    const std::string product4 = Text("%04x/%04x/100", vendor, product);

    gchar* syspath = umockdev_testbed_add_device(
        m_testbed, "usb", Below(parent, name).c_str(), nullptr,
        // sysfs attributes
        "busnum", busnum.c_str(), "devnum", devnumText.c_str(), "dev", dev.c_str(), "speed", "480\n", "bDeviceClass",
        Text("%02x\n", deviceClass).c_str(), "idVendor", Text("%04x\n", vendor).c_str(), "idProduct",
        Text("%04x\n", product).c_str(), "bcdDevice", "0103\n", "bConfigurationValue", "1\n", "bNumConfigurations",
        "1\n", "maxchild", Text("%u\n", hubPorts).c_str(), nullptr,
        // udev properties
        "DEVTYPE", "usb_device", "DEVNAME", devnode.c_str(), "BUSNUM", busProperty.c_str(), "DEVNUM",
        devnumProperty.c_str(), "PRODUCT", product4.c_str(), nullptr);
    if (syspath == nullptr) {
        m_error += "cannot add usb device " + name + "\n";
        return {};
    }
    const std::string path = syspath;
    g_free(syspath);

    UsbNode node;
    node.bus = BUS;
    node.devnum = devnum;
    node.name = name;
    node.hubPorts = hubPorts;
    node.descriptors = {
        // device: USB 2.0, 64-byte EP0, one configuration
        18, DESCRIPTOR_DEVICE, 0x00, 0x02, deviceClass, 0, static_cast<std::uint8_t>(deviceClass == CLASS_HUB ? 1 : 0),
        64, static_cast<std::uint8_t>(vendor & 0xFF), static_cast<std::uint8_t>(vendor >> 8),
        static_cast<std::uint8_t>(product & 0xFF), static_cast<std::uint8_t>(product >> 8), 0x03, 0x01, 0, 0, 0, 1,
        // configuration 1: one interface, bus powered
        9, DESCRIPTOR_CONFIGURATION, 18, 0, 1, 1, 0, 0x80, 50,
        // interface 0, no endpoints listed (the scan never uses them)
        9, 4, 0, 0, 0, interfaceClass, 0, 0, 0};
    umockdev_testbed_set_attribute_binary(m_testbed, path.c_str(), "descriptors", node.descriptors.data(),
                                          static_cast<gssize>(node.descriptors.size()));
    // The interface directory, as the kernel makes it; libusb skips these.
    const std::string interfaceName = (parent.empty() ? Text("%u-0", BUS) : name) + ":1.0";
    gchar* interface = umockdev_testbed_add_device(m_testbed, "usb", Below(path, interfaceName).c_str(), nullptr,
                                                   "bInterfaceClass", Text("%02x\n", interfaceClass).c_str(), nullptr,
                                                   "DEVTYPE", "usb_interface", nullptr);
    g_free(interface);
    MakeNode(devnode);
    m_usb[devnode] = std::move(node);
    m_description.push_back("usb " + name + ": " + Text("%04x:%04x", vendor, product) + " at " + devnode +
                            (hubPorts ? Text(", hub with %u ports", hubPorts) : std::string()));
    return path;
}

void EmulatedMachine::AddHidraw(unsigned number, const std::string& usbSyspath, const std::string& usbName,
                                HidrawNode node)
{
    if (usbSyspath.empty())
        return;
    const std::string interfacePath = usbSyspath + "/" + usbName + ":1.0";
    const std::string hidName = Text("0003:%04X:%04X.", node.vendor, node.product) + Text("%04X", number + 1);
    gchar* hid =
        umockdev_testbed_add_device(m_testbed, "hid", Below(interfacePath, hidName).c_str(), nullptr, nullptr, "HID_ID",
                                    Text("0003:%08X:%08X", node.vendor, node.product).c_str(), nullptr);
    if (hid == nullptr) {
        m_error += "cannot add hid device " + hidName + "\n";
        return;
    }
    const std::string devnode = Text("/dev/hidraw%u", number);
    const std::string dev = Text("%u:%u\n", HIDRAW_MAJOR, number);
    gchar* hidraw =
        umockdev_testbed_add_device(m_testbed, "hidraw", Below(hid, Text("hidraw/hidraw%u", number)).c_str(), nullptr,
                                    "dev", dev.c_str(), nullptr, "DEVNAME", devnode.c_str(), nullptr);
    g_free(hid);
    if (hidraw == nullptr) {
        m_error += "cannot add " + devnode + "\n";
        return;
    }
    g_free(hidraw);
    MakeNode(devnode);
    m_description.push_back(devnode + ": " + Text("%04x:%04x", node.vendor, node.product) + " on usb " + usbName +
                            (node.loader ? Text(", ZEL-V4 ISP loader, feature report %u bytes with its report ID",
                                                static_cast<unsigned>(m_featureLength))
                                         : std::string(", keyboard")));
    m_hidraw[devnode] = std::move(node);
}

gboolean EmulatedMachine::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    auto* machine = static_cast<EmulatedMachine*>(self);
    const std::string devnode = umockdev_ioctl_client_get_devnode(client);
    if (const auto it = machine->m_hidraw.find(devnode); it != machine->m_hidraw.end())
        return machine->HandleHidraw(client, it->second, devnode);
    if (const auto it = machine->m_usb.find(devnode); it != machine->m_usb.end())
        return machine->HandleUsb(client, it->second);
    return FALSE;
}

void EmulatedMachine::OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    auto* machine = static_cast<EmulatedMachine*>(self);
    std::lock_guard lock(machine->m_mutex);
    const auto it = machine->m_reapable.find(client);
    if (it == machine->m_reapable.end())
        return;
    for (UMockdevIoctlData* urb : it->second)
        g_object_unref(urb);
    machine->m_reapable.erase(it);
}

// Runs on the testbed's worker thread.
bool EmulatedMachine::HandleHidraw(UMockdevIoctlClient* client, HidrawNode& node, const std::string& devnode)
{
    const auto request = static_cast<unsigned>(umockdev_ioctl_client_get_request(client));
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    long result = -ENOTTY;
    UMockdevIoctlData* data = nullptr;

    if (request == HIDIOCGRAWINFO && (data = Resolve(arg, 0, sizeof(hidraw_devinfo)))) {
        hidraw_devinfo info{};
        info.bustype = 0x03;  // BUS_USB
        info.vendor = static_cast<__s16>(node.vendor);
        info.product = static_cast<__s16>(node.product);
        std::memcpy(data->data, &info, sizeof info);
        result = 0;
    } else if (request == HIDIOCGRDESCSIZE && (data = Resolve(arg, 0, sizeof(int)))) {
        const int size = static_cast<int>(node.descriptor.size());
        std::memcpy(data->data, &size, sizeof size);
        result = 0;
    } else if (request == HIDIOCGRDESC && (data = Resolve(arg, 0, sizeof(hidraw_report_descriptor)))) {
        auto* descriptor = reinterpret_cast<hidraw_report_descriptor*>(data->data);
        if (descriptor->size > HIDRAW_MAX_DESCRIPTOR) {
            result = -EINVAL;
        } else {
            const std::size_t count = std::min<std::size_t>(descriptor->size, node.descriptor.size());
            std::memcpy(descriptor->value, node.descriptor.data(), count);
            result = 0;
        }
    } else if (_IOC_TYPE(request) == 'H' && _IOC_DIR(request) == (_IOC_READ | _IOC_WRITE) &&
               (_IOC_NR(request) == HIDRAW_NR_SFEATURE || _IOC_NR(request) == HIDRAW_NR_GFEATURE)) {
        const unsigned length = _IOC_SIZE(request);
        const bool set = _IOC_NR(request) == HIDRAW_NR_SFEATURE;
        if (length == 0 || length > EmulatedLoader::MAX_FEATURE_LENGTH || !(data = Resolve(arg, 0, length))) {
            result = -EINVAL;
        } else if (!node.loader) {
            // A keyboard has no feature report: the device stalls the request.
            {
                std::lock_guard lock(m_mutex);
                ++m_foreignTransfers;
            }
            Note(devnode + (set ? " SET" : " GET") + Text(" feature len=%u refused: not the ISP loader", length));
            result = -EPIPE;
        } else {
            result = set ? m_loader.SetFeature(data->data, length) : m_loader.GetFeature(data->data, length);
        }
    }
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0);
    if (data != nullptr)
        g_object_unref(data);
    return TRUE;
}

// Runs on the testbed's worker thread. libusb submits a control URB, waits for the
// node to become writable, and reaps it; every transfer here completes at once.
bool EmulatedMachine::HandleUsb(UMockdevIoctlClient* client, UsbNode& node)
{
    const auto request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = Resolve(arg, 0, sizeof(std::uint32_t));
        if (caps == nullptr)
            break;
        const std::uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(caps);
        return TRUE;
    }
    case USBDEVFS_SUBMITURB: {
        UMockdevIoctlData* urbData = Resolve(arg, 0, sizeof(usbdevfs_urb));
        if (urbData == nullptr)
            break;
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        UMockdevIoctlData* buffer = nullptr;
        if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < static_cast<int>(SETUP_SIZE) ||
            !(buffer =
                  Resolve(urbData, offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(urb->buffer_length)))) {
            g_object_unref(urbData);
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        AnswerControl(node, buffer->data, urb->buffer_length, urb->status, urb->actual_length);
        {
            std::lock_guard lock(m_mutex);
            m_reapable[client].push_back(urbData);  // the queue keeps the reference
        }
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
        UMockdevIoctlData* urbData = nullptr;
        {
            std::lock_guard lock(m_mutex);
            auto& queue = m_reapable[client];
            if (!queue.empty()) {
                urbData = queue.front();
                queue.pop_front();
            }
        }
        if (urbData == nullptr) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return TRUE;
        }
        UMockdevIoctlData* target = Resolve(arg, 0, sizeof(void*));
        const bool set = target != nullptr && umockdev_ioctl_data_set_ptr(target, 0, urbData);
        g_object_unref(urbData);
        if (!set)
            break;
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
}

void EmulatedMachine::AnswerControl(UsbNode& node, std::uint8_t* buffer, int bufferLength, int& status,
                                    int& actualLength)
{
    const std::uint8_t* setup = buffer;
    const unsigned wValue = setup[2] | (setup[3] << 8);
    const unsigned wIndex = setup[4] | (setup[5] << 8);
    const unsigned wLength = setup[6] | (setup[7] << 8);
    std::optional<std::vector<std::uint8_t>> reply;
    std::string what = "unknown request";

    if (setup[1] == REQUEST_GET_DESCRIPTOR && setup[0] == DIR_IN_STANDARD_DEVICE) {
        const std::uint8_t type = static_cast<std::uint8_t>(wValue >> 8);
        const std::uint8_t index = static_cast<std::uint8_t>(wValue & 0xFF);
        if (type == DESCRIPTOR_DEVICE) {
            what = "device descriptor";
            reply.emplace(node.descriptors.begin(), node.descriptors.begin() + DEVICE_DESCRIPTOR_SIZE);
        } else if (type == DESCRIPTOR_CONFIGURATION) {
            what = "configuration descriptor";
            reply.emplace(node.descriptors.begin() + DEVICE_DESCRIPTOR_SIZE, node.descriptors.end());
        } else if (type == DESCRIPTOR_STRING && index == SIGNATURE_INDEX && wIndex == SIGNATURE_LANGUAGE) {
            what = "signature request";
            reply = node.signatureReply;
        } else if (type == DESCRIPTOR_STRING) {
            what = "string descriptor";
        }
    } else if (setup[1] == REQUEST_GET_DESCRIPTOR && setup[0] == DIR_IN_CLASS_DEVICE &&
               (wValue >> 8) == DESCRIPTOR_HUB && node.hubPorts != 0) {
        what = "hub descriptor";
        reply = std::vector<std::uint8_t>{9,   DESCRIPTOR_HUB, static_cast<std::uint8_t>(node.hubPorts), 0, 0, 50, 0, 0,
                                          0xFF};
    }

    const std::size_t room = static_cast<std::size_t>(bufferLength) - SETUP_SIZE;
    if (!reply) {
        status = -EPIPE;  // a stall
        actualLength = 0;
    } else {
        const std::size_t count = std::min<std::size_t>({reply->size(), wLength, room});
        std::memcpy(buffer + SETUP_SIZE, reply->data(), count);
        status = 0;
        actualLength = static_cast<int>(count);
    }
    Note("usb " + node.name + Text(" control %02x %02x", setup[0], setup[1]) +
         Text(" wValue=%04x wIndex=%04x wLength=%u", wValue, wIndex, wLength) + ": " + what +
         (reply ? Text(", answered %u bytes", static_cast<unsigned>(actualLength)) : std::string(", stalled")));
}

}  // namespace zelv4
