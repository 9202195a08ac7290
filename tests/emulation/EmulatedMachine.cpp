#include "emulation/EmulatedMachine.h"

#include <glib/gstdio.h>
#include <linux/hidraw.h>
#include <linux/usbdevice_fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zelv4 {

namespace {

constexpr unsigned DEFAULT_HUB_PORTS = 4;
constexpr std::uint16_t ROOT_HUB_VENDOR = 0x1D6B;
constexpr std::uint16_t ROOT_HUB_PRODUCT = 0x0002;
constexpr std::uint16_t HUB_VENDOR = 0x05E3;
constexpr std::uint16_t HUB_PRODUCT = 0x0610;

constexpr std::uint8_t CLASS_PER_INTERFACE = 0x00;
constexpr std::uint8_t CLASS_HID = 0x03;
constexpr std::uint8_t CLASS_HUB = 0x09;
constexpr std::uint8_t CLASS_VENDOR = 0xFF;

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

constexpr std::string_view SYS_DEVICES = "/sys/devices/";
// How much of what a program writes into a node the log shows.
constexpr std::size_t LOGGED_BYTES = 64;

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

// Bytes as C-like text, for the log.
std::string Printable(const std::uint8_t* bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < std::min(count, LOGGED_BYTES); ++i) {
        if (bytes[i] == '\n')
            text += "\\n";
        else if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '"' && bytes[i] != '\\')
            text += static_cast<char>(bytes[i]);
        else
            text += Text("\\x%02x", bytes[i]);
    }
    return count > LOGGED_BYTES ? text + "..." : text;
}

// "usb1" -> bus 1, no ports; "1-2.3" -> bus 1, ports 2 and 3. False if malformed.
bool ParsePort(const std::string& port, unsigned& bus, std::vector<unsigned>& ports)
{
    ports.clear();
    std::size_t at = 0;
    auto number = [&](unsigned& value) {
        const std::size_t start = at;
        value = 0;
        while (at < port.size() && port[at] >= '0' && port[at] <= '9' && at - start < 4)
            value = value * 10 + static_cast<unsigned>(port[at++] - '0');
        return at > start && value > 0;
    };
    if (port.rfind("usb", 0) == 0) {
        at = 3;
        return number(bus) && at == port.size();
    }
    if (!number(bus) || at == port.size() || port[at++] != '-')
        return false;
    for (;;) {
        unsigned value = 0;
        if (!number(value))
            return false;
        ports.push_back(value);
        if (at == port.size())
            return true;
        if (port[at++] != '.')
            return false;
    }
}

std::string ParentOf(unsigned bus, const std::vector<unsigned>& ports)
{
    if (ports.size() <= 1)
        return Text("usb%u", bus);
    std::string parent = Text("%u-%u", bus, ports[0]);
    for (std::size_t i = 1; i + 1 < ports.size(); ++i)
        parent += Text(".%u", ports[i]);
    return parent;
}

// usb_device nodes are char major 189, minor (bus - 1) * 128 + devnum - 1.
std::string UsbDevNumbers(unsigned bus, unsigned devnum)
{
    return Text("%u:%u", USB_DEVICE_MAJOR, (bus - 1) * 128 + devnum - 1);
}

UMockdevIoctlData* Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length)
{
    GError* error = nullptr;
    UMockdevIoctlData* resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    g_clear_error(&error);
    return resolved;
}

}  // namespace

EmulatedMachine::EmulatedMachine(std::FILE* log)
    : m_log(log), m_testbed(umockdev_testbed_new()), m_inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    m_root = root;
    g_free(root);
    WatchClass();
}

EmulatedMachine::~EmulatedMachine()
{
    if (m_inotify >= 0)
        ::close(m_inotify);
    for (UMockdevIoctlBase* handler : m_handlers)
        g_object_unref(handler);
    for (auto& [client, urbs] : m_reapable) {
        for (UMockdevIoctlData* urb : urbs)
            g_object_unref(urb);
    }
    g_object_unref(m_testbed);
}

std::vector<std::uint8_t> EmulatedMachine::StringDescriptor(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), DESCRIPTOR_STRING};
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// The class directory stays (a real machine with hidraw loaded always has it), so
// that opening it, a program's search, can be watched; so does the USB bus's list.
void EmulatedMachine::WatchClass()
{
    const std::string dir = m_root + "/sys/class/hidraw";
    const std::string bus = m_root + "/sys/bus/usb/devices";
    g_mkdir_with_parents(dir.c_str(), 0755);
    g_mkdir_with_parents(bus.c_str(), 0755);
    if (m_inotify >= 0) {
        m_watch = inotify_add_watch(m_inotify, dir.c_str(), IN_OPEN);
        // Closes too: inotify merges identical events in a row, and a scan that
        // listed the bus again and again would seem to list it once.
        m_busWatch = inotify_add_watch(m_inotify, bus.c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
    }
}

unsigned EmulatedMachine::Searches()
{
    CountOpens();
    return m_searches;
}

unsigned EmulatedMachine::BusListings()
{
    CountOpens();
    return m_busListings;
}

void EmulatedMachine::CountOpens()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = m_inotify >= 0 ? ::read(m_inotify, buffer, sizeof buffer) : -1;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((event->mask & IN_OPEN) != 0 && event->len == 0)
                ++(event->wd == m_busWatch ? m_busListings : m_searches);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

std::string EmulatedMachine::RootDir() const
{
    return m_root;
}

std::string EmulatedMachine::NodeFile(const std::string& devnode) const
{
    return m_root + devnode;
}

std::string EmulatedMachine::Error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void EmulatedMachine::Fail(const std::string& why)
{
    {
        std::lock_guard lock(m_mutex);
        m_error += why + "\n";
    }
    Note("ERROR: " + why);
}

void EmulatedMachine::Note(const std::string& line) const
{
    if (m_log != nullptr) {
        std::fprintf(m_log, "machine: %s\n", line.c_str());
        std::fflush(m_log);
    }
}

std::string EmulatedMachine::Describe() const
{
    std::string text;
    for (const std::string& line : m_description)
        text += line + "\n";
    return text;
}

EmulatedMachine::Device* EmulatedMachine::Find(const std::string& port) const
{
    for (auto it = m_devices.rbegin(); it != m_devices.rend(); ++it) {
        if ((*it)->port == port && !(*it)->removed)
            return it->get();
    }
    return nullptr;
}

// The device on `port` and every device below it, deepest first.
std::vector<EmulatedMachine::Device*> EmulatedMachine::Subtree(const std::string& port) const
{
    unsigned bus = 0;
    std::vector<unsigned> ports;
    ParsePort(port, bus, ports);
    std::vector<Device*> found;
    for (const auto& device : m_devices) {
        const bool below = ports.empty() ? device->bus == bus : device->port.rfind(port + ".", 0) == 0;
        if (!device->removed && (device->port == port || below))
            found.push_back(device.get());
    }
    // A root hub is at depth 0, a device on its ports at 1, on the next hub at 2...
    const auto depth = [](const Device* device) {
        return device->port.rfind("usb", 0) == 0 ? 0 : 1 + std::count(device->port.begin(), device->port.end(), '.');
    };
    std::stable_sort(found.begin(), found.end(), [&](const Device* a, const Device* b) { return depth(a) > depth(b); });
    return found;
}

void EmulatedMachine::EnsureParent(const std::string& port)
{
    unsigned bus = 0;
    std::vector<unsigned> ports;
    if (!ParsePort(port, bus, ports) || ports.empty())
        return;
    const std::string parent = ParentOf(bus, ports);
    if (Find(parent) != nullptr)
        return;
    if (ports.size() == 1)
        AddRootHub(bus, DEFAULT_HUB_PORTS);
    else
        AddHub(parent, DEFAULT_HUB_PORTS);
}

void EmulatedMachine::AddRootHub(unsigned bus, unsigned ports)
{
    AddUsb(Text("usb%u", bus), ROOT_HUB_VENDOR, ROOT_HUB_PRODUCT, CLASS_HUB, CLASS_HUB, ports);
}

void EmulatedMachine::AddHub(const std::string& port, unsigned ports)
{
    EnsureParent(port);
    AddUsb(port, HUB_VENDOR, HUB_PRODUCT, CLASS_HUB, CLASS_HUB, ports);
}

// An empty file stands for the node; the preload library makes it look like a
// character device with the numbers of the device's `dev` attribute.
void EmulatedMachine::Attach(const std::string& devnode, Binding& binding)
{
    const std::string file = NodeFile(devnode);
    gchar* dir = g_path_get_dirname(file.c_str());
    g_mkdir_with_parents(dir, 0755);
    g_free(dir);
    g_file_set_contents(file.c_str(), "", 0, nullptr);

    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&EmulatedMachine::OnIoctl), &binding);
    g_signal_connect(handler, "client-vanished", G_CALLBACK(&EmulatedMachine::OnVanished), &binding);
    g_signal_connect(handler, "handle-read", G_CALLBACK(&EmulatedMachine::OnRead), &binding);
    if (binding.hidraw)
        g_signal_connect(handler, "handle-write", G_CALLBACK(&EmulatedMachine::OnWrite), &binding);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_testbed, devnode.c_str(), handler, &error)) {
        Fail("cannot attach the ioctl handler of " + devnode + ": " + (error ? error->message : "?"));
        g_clear_error(&error);
    }
    m_handlers.push_back(handler);
}

EmulatedMachine::Device* EmulatedMachine::AddUsb(const std::string& port, std::uint16_t vendor, std::uint16_t product,
                                                 std::uint8_t deviceClass, std::uint8_t interfaceClass,
                                                 unsigned hubPorts)
{
    unsigned bus = 0;
    std::vector<unsigned> ports;
    if (!ParsePort(port, bus, ports)) {
        Fail("'" + port + "' is not a USB port path (bus-port.port..., e.g. 1-2.3)");
        return nullptr;
    }
    if (Find(port) != nullptr) {
        Fail("a device is already on port " + port);
        return nullptr;
    }
    std::string syspath = "/sys/devices/" + port;
    if (!ports.empty()) {
        const Device* parent = Find(ParentOf(bus, ports));
        if (parent == nullptr || parent->hubPorts < ports.back()) {
            Fail("no hub port for " + port + (parent ? Text(": the hub has %u ports", parent->hubPorts) : ""));
            return nullptr;
        }
        syspath = parent->syspath + "/" + port;
    }

    auto device = std::make_unique<Device>();
    Device& d = *device;
    d.port = port;
    d.syspath = syspath;
    d.bus = bus;
    d.devnum = ++m_lastDevnum[bus];
    d.usbNode = Text("/dev/bus/usb/%03u/%03u", bus, d.devnum);
    d.hubPorts = hubPorts;
    d.vendor = vendor;
    d.product = product;
    d.usbBinding = Binding{this, &d, false};
    d.hidrawBinding = Binding{this, &d, true};
    std::string devpath = ports.empty() ? "0" : Text("%u", ports[0]);
    for (std::size_t i = 1; i < ports.size(); ++i)
        devpath += Text(".%u", ports[i]);

    d.descriptors = {
        // device: USB 2.0, 64-byte EP0, one configuration
        18, DESCRIPTOR_DEVICE, 0x00, 0x02, deviceClass, 0, static_cast<std::uint8_t>(deviceClass == CLASS_HUB ? 1 : 0),
        64, static_cast<std::uint8_t>(vendor & 0xFF), static_cast<std::uint8_t>(vendor >> 8),
        static_cast<std::uint8_t>(product & 0xFF), static_cast<std::uint8_t>(product >> 8), 0x00, 0x01, 0, 0, 0, 1,
        // configuration 1: one interface, bus powered
        9, DESCRIPTOR_CONFIGURATION, 18, 0, 1, 1, 0, 0x80, 50,
        // interface 0, no endpoints listed (the scan never uses them)
        9, 4, 0, 0, 0, interfaceClass, 0, 0, 0};
    // umockdev sends the "add" uevent as it makes the device, so what a listener
    // reads then must be there before: the descriptors, the node and its handler.
    const std::string directory = m_root + syspath;
    g_mkdir_with_parents(directory.c_str(), 0755);
    g_file_set_contents((directory + "/descriptors").c_str(), reinterpret_cast<const gchar*>(d.descriptors.data()),
                        static_cast<gssize>(d.descriptors.size()), nullptr);
    Attach(d.usbNode, d.usbBinding);
    // umockdev_testbed_add_device() checks that a parent exists by looking at /sys,
    // which is the testbed's only in a process under the preload library. So every
    // device is added without a parent, named by its whole path below /sys/devices.
    gchar* added = umockdev_testbed_add_device(
        m_testbed, "usb", syspath.substr(SYS_DEVICES.size()).c_str(), nullptr,
        // sysfs attributes
        "busnum", Text("%u\n", bus).c_str(), "devnum", Text("%u\n", d.devnum).c_str(), "devpath",
        (devpath + "\n").c_str(), "dev", (UsbDevNumbers(bus, d.devnum) + "\n").c_str(), "speed", "480\n",
        "bDeviceClass", Text("%02x\n", deviceClass).c_str(), "idVendor", Text("%04x\n", vendor).c_str(), "idProduct",
        Text("%04x\n", product).c_str(), "bcdDevice", "0100\n", "bConfigurationValue", "1\n", "bNumConfigurations",
        "1\n", "maxchild", Text("%u\n", hubPorts).c_str(), nullptr,
        // udev properties
        "DEVTYPE", "usb_device", "DEVNAME", d.usbNode.c_str(), "BUSNUM", Text("%03u", bus).c_str(), "DEVNUM",
        Text("%03u", d.devnum).c_str(), "PRODUCT", Text("%x/%x/100", vendor, product).c_str(), nullptr);
    if (added == nullptr) {
        Fail("cannot add usb device " + port);
        return nullptr;
    }
    g_free(added);

    // The interface directory, as the kernel makes it; libusb skips these.
    const std::string interface = syspath + "/" + (ports.empty() ? Text("%u-0", bus) : port) + ":1.0";
    gchar* addedInterface = umockdev_testbed_add_device(
        m_testbed, "usb", interface.substr(SYS_DEVICES.size()).c_str(), nullptr, "bInterfaceClass",
        Text("%02x\n", interfaceClass).c_str(), nullptr, "DEVTYPE", "usb_interface", nullptr);
    g_free(addedInterface);
    d.children.push_back(interface);
    m_description.push_back("usb " + port + ": " + Text("%04x:%04x", vendor, product) + " at " + d.usbNode +
                            (hubPorts ? Text(", hub with %u ports", hubPorts) : std::string()));
    m_devices.push_back(std::move(device));
    return &d;
}

void EmulatedMachine::AddHidraw(Device& device, std::optional<unsigned> number,
                                std::vector<std::uint8_t> reportDescriptor)
{
    if (!number) {
        number = 0;
        while (std::any_of(m_devices.begin(), m_devices.end(), [&](const auto& d) {
            return !d->removed && !d->hidrawNode.empty() && d->hidrawNumber == *number;
        }))
            ++*number;
    }
    const std::string devnode = Text("/dev/hidraw%u", *number);
    if (std::any_of(m_devices.begin(), m_devices.end(),
                    [&](const auto& d) { return !d->removed && d->hidrawNode == devnode; })) {
        Fail(devnode + " is already taken");
        return;
    }
    const std::string hid = device.children.front() + "/" + Text("0003:%04X:%04X.", device.vendor, device.product) +
                            Text("%04X", ++m_lastHidId);
    const std::string hidraw = hid + Text("/hidraw/hidraw%u", *number);
    // All a program may ask, in place before the node and its "add" uevent appear.
    device.children.push_back(hid);
    device.children.push_back(hidraw);
    device.hidrawNode = devnode;
    device.hidrawNumber = *number;
    device.reportDescriptor = std::move(reportDescriptor);
    Attach(devnode, device.hidrawBinding);
    // The kernel also shows the descriptor as a file of the hid device; browsers
    // read it there (WebHID), not with the ioctl. No serial number (HID_UNIQ empty),
    // as the loader has none.
    const std::string hidDirectory = m_root + hid;
    g_mkdir_with_parents(hidDirectory.c_str(), 0755);
    g_file_set_contents((hidDirectory + "/report_descriptor").c_str(),
                        reinterpret_cast<const gchar*>(device.reportDescriptor.data()),
                        static_cast<gssize>(device.reportDescriptor.size()), nullptr);
    gchar* addedHid = umockdev_testbed_add_device(
        m_testbed, "hid", hid.substr(SYS_DEVICES.size()).c_str(), nullptr, nullptr, "HID_ID",
        Text("0003:%08X:%08X", device.vendor, device.product).c_str(), "HID_UNIQ", "", nullptr);
    gchar* addedHidraw = umockdev_testbed_add_device(m_testbed, "hidraw", hidraw.substr(SYS_DEVICES.size()).c_str(),
                                                     nullptr, "dev", Text("%u:%u\n", HIDRAW_MAJOR, *number).c_str(),
                                                     nullptr, "DEVNAME", devnode.c_str(), nullptr);
    const bool added = addedHid != nullptr && addedHidraw != nullptr;
    g_free(addedHid);
    g_free(addedHidraw);
    if (!added)
        Fail("cannot add " + devnode + " on " + device.port);
}

EmulatedLoader& EmulatedMachine::AddLoader(const LoaderOptions& options)
{
    std::FILE* log = m_log;
    if (!options.logPath.empty()) {
        std::FILE* own = std::fopen(options.logPath.c_str(), "w");
        if (own == nullptr)
            Fail("cannot create " + options.logPath + ": " + std::strerror(errno));
        else
            m_loaderLogs.emplace_back(own, &std::fclose);
        log = own != nullptr ? own : m_log;
    }
    EmulatedLoader& loader = *m_loaders.emplace_back(std::make_unique<EmulatedLoader>(options, log));
    if (options.featureLength < 2 || options.featureLength > EmulatedLoader::MAX_FEATURE_LENGTH) {
        Fail(Text("feature report length %u is out of range", static_cast<unsigned>(options.featureLength)));
        return loader;
    }
    EnsureParent(options.port);
    Device* device = AddUsb(options.port, LOADER_VENDOR, LOADER_PRODUCT, CLASS_PER_INTERFACE, CLASS_HID, 0);
    if (device == nullptr)
        return loader;
    device->loader = &loader;
    device->descriptorFails = options.descriptorFails;
    device->removeAtUnplug = options.removeAtUnplug;
    AddHidraw(*device, options.hidraw, EmulatedLoader::ReportDescriptor(options.featureLength));
    m_description.push_back(
        device->hidrawNode + ": ZEL-V4 ISP loader on usb " + options.port +
        Text(", feature report %u bytes with its report ID", static_cast<unsigned>(options.featureLength)));
    return loader;
}

void EmulatedMachine::AddKeyboard(const std::string& port, std::optional<unsigned> hidraw)
{
    EnsureParent(port);
    Device* device = AddUsb(port, KEYBOARD_VENDOR, KEYBOARD_PRODUCT, CLASS_PER_INTERFACE, CLASS_HID, 0);
    if (device == nullptr)
        return;
    AddHidraw(*device, hidraw, KeyboardDescriptor());
    m_description.push_back(device->hidrawNode + ": keyboard on usb " + port);
}

void EmulatedMachine::AddUhidKeyboard(unsigned hidraw)
{
    const std::string hid = Text("/sys/devices/virtual/misc/uhid/0005:%04X:%04X.", KEYBOARD_VENDOR, KEYBOARD_PRODUCT) +
                            Text("%04X", ++m_lastHidId);
    const std::string node = hid + Text("/hidraw/hidraw%u", hidraw);
    gchar* addedHid = umockdev_testbed_add_device(
        m_testbed, "hid", hid.substr(SYS_DEVICES.size()).c_str(), nullptr, nullptr, "HID_ID",
        Text("0005:%08X:%08X", KEYBOARD_VENDOR, KEYBOARD_PRODUCT).c_str(), nullptr);
    gchar* addedNode = umockdev_testbed_add_device(m_testbed, "hidraw", node.substr(SYS_DEVICES.size()).c_str(),
                                                   nullptr, "dev", Text("%u:%u\n", HIDRAW_MAJOR, hidraw).c_str(),
                                                   nullptr, "DEVNAME", Text("/dev/hidraw%u", hidraw).c_str(), nullptr);
    if (addedHid == nullptr || addedNode == nullptr)
        Fail(Text("cannot add the uhid keyboard at /dev/hidraw%u", hidraw));
    g_free(addedHid);
    g_free(addedNode);
    m_description.push_back(Text("/dev/hidraw%u: keyboard on uhid, not on USB", hidraw));
}

void EmulatedMachine::AddSignatureDevice(const std::string& port, std::optional<std::vector<std::uint8_t>> reply,
                                         std::uint16_t product)
{
    EnsureParent(port);
    Device* device = AddUsb(port, LOADER_VENDOR, product, CLASS_PER_INTERFACE, CLASS_VENDOR, 0);
    if (device == nullptr)
        return;
    std::string text;
    for (std::size_t i = 2; reply && i + 1 < reply->size(); i += 2)
        text += (*reply)[i + 1] == 0 && (*reply)[i] < 0x80 ? static_cast<char>((*reply)[i]) : '?';
    m_description.push_back(
        "usb " + port + ": " +
        (reply ? "answers the signature request with \"" + text + "\"" : std::string("stalls the signature request")));
    device->signatureReply = std::move(reply);
}

std::vector<EmulatedLoader*> EmulatedMachine::Loaders() const
{
    std::vector<EmulatedLoader*> loaders;
    for (const auto& loader : m_loaders)
        loaders.push_back(loader.get());
    return loaders;
}

EmulatedLoader* EmulatedMachine::Loader(const std::string& port) const
{
    for (auto it = m_loaders.rbegin(); it != m_loaders.rend(); ++it) {
        if ((*it)->Port() == port)
            return it->get();
    }
    return nullptr;
}

std::string EmulatedMachine::HidrawNode(const std::string& port) const
{
    const Device* device = Find(port);
    return device != nullptr ? device->hidrawNode : std::string();
}

bool EmulatedMachine::WasAskedForSignature(const std::string& port) const
{
    const Device* device = Find(port);
    std::lock_guard lock(m_mutex);
    return device != nullptr && device->askedForSignature;
}

// The kernel's "remove" uevents, children first; umockdev needs the sysfs entries
// still there to build them.
void EmulatedMachine::AnnounceRemoval(const Device& device)
{
    if (!umockdev_in_mock_environment()) {
        Fail("uevents need this process under the umockdev preload library");
        return;
    }
    for (auto it = device.children.rbegin(); it != device.children.rend(); ++it)
        umockdev_testbed_uevent(m_testbed, it->c_str(), "remove");
    umockdev_testbed_uevent(m_testbed, device.syspath.c_str(), "remove");
    Note("remove uevents for usb " + device.port +
         (device.hidrawNode.empty() ? std::string() : " and " + device.hidrawNode));
}

// umockdev itself sends the "add" uevents as it makes each device, parents first.
EmulatedLoader& EmulatedMachine::Plug(const LoaderOptions& options)
{
    if (!umockdev_in_mock_environment())
        Fail("uevents need this process under the umockdev preload library");
    Note("plugged a loader into " + options.port);
    return AddLoader(options);
}

std::size_t EmulatedMachine::CheckNodeFile(const std::string& devnode) const
{
    std::ifstream file(NodeFile(devnode), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!bytes.empty()) {
        Note(devnode + Text(" holds %u bytes a program wrote into it: \"", static_cast<unsigned>(bytes.size())) +
             Printable(bytes.data(), bytes.size()) + "\"");
    }
    return bytes.size();
}

void EmulatedMachine::Remove(Device& device)
{
    GError* error = nullptr;
    if (!device.hidrawNode.empty()) {
        m_removedNodeBytes += CheckNodeFile(device.hidrawNode);
        umockdev_testbed_detach_ioctl(m_testbed, device.hidrawNode.c_str(), &error);
        g_clear_error(&error);
    }
    umockdev_testbed_detach_ioctl(m_testbed, device.usbNode.c_str(), &error);
    g_clear_error(&error);
    for (auto it = device.children.rbegin(); it != device.children.rend(); ++it)
        umockdev_testbed_remove_device(m_testbed, it->c_str());
    umockdev_testbed_remove_device(m_testbed, device.syspath.c_str());
    // umockdev makes the /sys/dev/char links without the `dev` attribute's newline
    // but looks for them with it.
    g_unlink((m_root + "/sys/dev/char/" + UsbDevNumbers(device.bus, device.devnum)).c_str());
    if (!device.hidrawNode.empty())
        g_unlink((m_root + "/sys/dev/char/" + Text("%u:%u", HIDRAW_MAJOR, device.hidrawNumber)).c_str());
    {
        std::lock_guard lock(m_mutex);
        device.removed = true;
    }
    WatchClass();
}

void EmulatedMachine::Unplug(const std::string& port, bool remove)
{
    const std::vector<Device*> devices = Subtree(port);
    if (devices.empty()) {
        Fail("nothing to unplug on port " + port);
        return;
    }
    for (Device* device : devices) {
        {
            std::lock_guard lock(m_mutex);
            device->unplugged = true;
        }
        if (device->loader != nullptr)
            device->loader->Unplug();
    }
    Note("unplugged usb " + port + (remove ? ", removed" : ", its nodes stay"));
    if (!remove)
        return;
    for (Device* device : devices) {
        AnnounceRemoval(*device);
        Remove(*device);
    }
}

void EmulatedMachine::RemoveUsbNode(const std::string& port)
{
    Device* device = Find(port);
    if (device == nullptr) {
        Fail("no device on port " + port);
        return;
    }
    GError* error = nullptr;
    umockdev_testbed_detach_ioctl(m_testbed, device->usbNode.c_str(), &error);
    g_clear_error(&error);
    g_unlink(NodeFile(device->usbNode).c_str());
}

void EmulatedMachine::Schedule(MachineEvent event)
{
    m_events.push_back(std::move(event));
}

unsigned EmulatedMachine::PendingEvents() const
{
    return static_cast<unsigned>(m_events.size());
}

void EmulatedMachine::RunEvent(const MachineEvent& event)
{
    if (event.action == MachineEvent::Action::Arrive) {
        Note("event: a loader arrives on " + event.loader.port);
        Plug(event.loader);
    } else {
        Note("event: the device on " + event.port + " leaves");
        Unplug(event.port, true);
    }
}

void EmulatedMachine::Poll(std::chrono::milliseconds elapsed)
{
    Searches();
    for (const auto& device : m_devices) {
        bool unplugged = false;
        {
            std::lock_guard lock(m_mutex);
            unplugged = device->unplugged;
        }
        if (device->loader != nullptr && !device->removed && device->removeAtUnplug && !unplugged &&
            device->loader->Unplugged()) {
            Unplug(device->port, true);
        }
    }
    for (auto it = m_events.begin(); it != m_events.end();) {
        const EventTrigger& when = it->when;
        const EmulatedLoader* loader = when.kind == EventTrigger::Kind::Transfer ? Loader(when.port) : nullptr;
        const bool due = (when.kind == EventTrigger::Kind::Time && elapsed.count() >= static_cast<long>(when.count)) ||
                         (when.kind == EventTrigger::Kind::Search && m_searches >= when.count) ||
                         (loader != nullptr && loader->Transfers() >= when.count);
        if (!due) {
            ++it;
            continue;
        }
        const MachineEvent event = *it;
        it = m_events.erase(it);
        Note(Text("at %u ms, after %u searches:", static_cast<unsigned>(elapsed.count()), m_searches));
        RunEvent(event);
        it = m_events.begin();
    }
}

std::size_t EmulatedMachine::OpenHidrawNodes() const
{
    const std::string nodes = m_root + "/dev/hidraw";
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.string().starts_with(nodes))
            ++count;
    }
    return count;
}

EmulatedMachine::NodeTraffic EmulatedMachine::Traffic() const
{
    std::lock_guard lock(m_mutex);
    return m_traffic;
}

std::size_t EmulatedMachine::NodeFileBytes() const
{
    std::size_t bytes = m_removedNodeBytes;
    for (const auto& device : m_devices) {
        if (!device->removed && !device->hidrawNode.empty())
            bytes += CheckNodeFile(device->hidrawNode);
    }
    return bytes;
}

std::string EmulatedMachine::Summary()
{
    std::string text;
    text += Text("searches: %u\n", Searches());
    const NodeTraffic traffic = Traffic();
    text += Text("foreign-transfers: %u\n", traffic.foreignTransfers);
    text += Text("node-reads: %u\n", traffic.reads);
    text += Text("node-writes: %u\n", traffic.writes);
    text += Text("node-file-bytes: %u\n", static_cast<unsigned>(NodeFileBytes()));
    text += Text("events-pending: %u\n", PendingEvents());
    return text;
}

bool EmulatedMachine::Gone(const Device& device) const
{
    {
        std::lock_guard lock(m_mutex);
        if (device.unplugged)
            return true;
    }
    return device.loader != nullptr && device.loader->Unplugged();
}

gboolean EmulatedMachine::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer binding)
{
    const auto* bound = static_cast<Binding*>(binding);
    return bound->hidraw ? bound->machine->HandleHidraw(client, *bound->device)
                         : bound->machine->HandleUsb(client, *bound->device);
}

// A hidraw read() waits for an input report; the loader sends none, so a read
// fails at once rather than hang the program. A usbfs read() gives the device's
// descriptors, as the kernel's does.
gboolean EmulatedMachine::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer binding)
{
    const auto* bound = static_cast<Binding*>(binding);
    EmulatedMachine& machine = *bound->machine;
    UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
    if (!bound->hidraw)
        return machine.ReadUsb(client, data, *bound->device);
    {
        std::lock_guard lock(machine.m_mutex);
        ++machine.m_traffic.reads;
    }
    machine.Note(bound->device->hidrawNode + Text(" read() of %d bytes: refused", data ? data->data_len : 0));
    umockdev_ioctl_client_complete(client, -1, machine.Gone(*bound->device) ? ENODEV : EAGAIN);
    return TRUE;
}

// A hidraw write() sends an output report: logged and taken, so that a test sees
// whatever a program wrote into the node.
gboolean EmulatedMachine::OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer binding)
{
    const auto* bound = static_cast<Binding*>(binding);
    EmulatedMachine& machine = *bound->machine;
    const UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
    const int length = data != nullptr ? data->data_len : 0;
    {
        std::lock_guard lock(machine.m_mutex);
        ++machine.m_traffic.writes;
    }
    machine.Note(bound->device->hidrawNode + Text(" write() of %d bytes: \"", static_cast<unsigned>(length)) +
                 (data != nullptr ? Printable(data->data, static_cast<std::size_t>(length)) : std::string()) + "\"");
    const bool gone = machine.Gone(*bound->device);
    umockdev_ioctl_client_complete(client, gone ? -1 : length, gone ? ENODEV : 0);
    return TRUE;
}

// The descriptors from the device descriptor on, as a node's first read() after
// its open() gives them. (umockdev does not pass on the file position; libusb reads
// them once, as it takes the node.)
bool EmulatedMachine::ReadUsb(UMockdevIoctlClient* client, UMockdevIoctlData* data, Device& device)
{
    if (Gone(device)) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    const std::size_t wanted = data != nullptr ? static_cast<std::size_t>(data->data_len) : 0;
    const std::size_t count = std::min(wanted, device.descriptors.size());
    if (count > 0)
        std::memcpy(data->data, device.descriptors.data(), count);
    umockdev_ioctl_client_complete(client, static_cast<long>(count), 0);
    return TRUE;
}

void EmulatedMachine::OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer binding)
{
    EmulatedMachine& machine = *static_cast<Binding*>(binding)->machine;
    std::lock_guard lock(machine.m_mutex);
    const auto it = machine.m_reapable.find(client);
    if (it == machine.m_reapable.end())
        return;
    for (UMockdevIoctlData* urb : it->second)
        g_object_unref(urb);
    machine.m_reapable.erase(it);
}

// Runs on the testbed's worker thread.
bool EmulatedMachine::HandleHidraw(UMockdevIoctlClient* client, Device& device)
{
    const auto request = static_cast<unsigned>(umockdev_ioctl_client_get_request(client));
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const bool feature = _IOC_TYPE(request) == 'H' && _IOC_DIR(request) == (_IOC_READ | _IOC_WRITE) &&
                         (_IOC_NR(request) == HIDRAW_NR_SFEATURE || _IOC_NR(request) == HIDRAW_NR_GFEATURE);
    long result = -ENOTTY;
    UMockdevIoctlData* data = nullptr;

    if (Gone(device) && !(feature && device.loader != nullptr)) {
        result = device.loader != nullptr ? device.loader->RefuseUnplugged(Text("ioctl %08x", request)) : -ENODEV;
    } else if (request == HIDIOCGRAWINFO && (data = Resolve(arg, 0, sizeof(hidraw_devinfo)))) {
        hidraw_devinfo info{};
        info.bustype = 0x03;  // BUS_USB
        info.vendor = static_cast<__s16>(device.vendor);
        info.product = static_cast<__s16>(device.product);
        std::memcpy(data->data, &info, sizeof info);
        result = 0;
    } else if (request == HIDIOCGRDESCSIZE && (data = Resolve(arg, 0, sizeof(int)))) {
        const int size = static_cast<int>(device.reportDescriptor.size());
        std::memcpy(data->data, &size, sizeof size);
        result = 0;
    } else if (request == HIDIOCGRDESC && (data = Resolve(arg, 0, sizeof(hidraw_report_descriptor)))) {
        auto* descriptor = reinterpret_cast<hidraw_report_descriptor*>(data->data);
        if (device.descriptorFails) {
            result = -EIO;
        } else if (descriptor->size > HIDRAW_MAX_DESCRIPTOR) {
            result = -EINVAL;
        } else {
            const std::size_t count = std::min<std::size_t>(descriptor->size, device.reportDescriptor.size());
            std::memcpy(descriptor->value, device.reportDescriptor.data(), count);
            result = 0;
        }
    } else if (feature) {
        const unsigned length = _IOC_SIZE(request);
        const bool set = _IOC_NR(request) == HIDRAW_NR_SFEATURE;
        if (length == 0 || length > EmulatedLoader::MAX_FEATURE_LENGTH || !(data = Resolve(arg, 0, length))) {
            result = -EINVAL;
        } else if (device.loader == nullptr) {
            // A keyboard has no feature report: the device stalls the request.
            {
                std::lock_guard lock(m_mutex);
                ++m_traffic.foreignTransfers;
            }
            Note(device.hidrawNode + (set ? " SET" : " GET") +
                 Text(" feature len=%u refused: not the ISP loader", length));
            result = -EPIPE;
        } else {
            result =
                set ? device.loader->SetFeature(data->data, length) : device.loader->GetFeature(data->data, length);
        }
    }
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0);
    if (data != nullptr)
        g_object_unref(data);
    return TRUE;
}

// Runs on the testbed's worker thread. libusb submits a control URB, waits for the
// node to become writable, and reaps it; every transfer here completes at once.
bool EmulatedMachine::HandleUsb(UMockdevIoctlClient* client, Device& device)
{
    const auto request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

    if (Gone(device)) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
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
    case USBDEVFS_CONNECTINFO: {
        UMockdevIoctlData* info = Resolve(arg, 0, sizeof(usbdevfs_connectinfo));
        if (info == nullptr)
            break;
        const usbdevfs_connectinfo value{device.devnum, 0};
        std::memcpy(info->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(info);
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
        AnswerControl(device, buffer->data, urb->buffer_length, urb->status, urb->actual_length);
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
    case USBDEVFS_DISCARDURB:
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
}

void EmulatedMachine::AnswerControl(Device& device, std::uint8_t* buffer, int bufferLength, int& status,
                                    int& actualLength)
{
    const std::uint8_t* setup = buffer;
    const unsigned wValue = setup[2] | (setup[3] << 8);
    const unsigned wIndex = setup[4] | (setup[5] << 8);
    const unsigned wLength = setup[6] | (setup[7] << 8);
    std::optional<std::vector<std::uint8_t>> reply;
    std::string what = "unknown request";

    if (setup[1] == REQUEST_GET_DESCRIPTOR && setup[0] == DIR_IN_STANDARD_DEVICE) {
        const auto type = static_cast<std::uint8_t>(wValue >> 8);
        const auto index = static_cast<std::uint8_t>(wValue & 0xFF);
        if (type == DESCRIPTOR_DEVICE) {
            what = "device descriptor";
            reply.emplace(device.descriptors.begin(), device.descriptors.begin() + DEVICE_DESCRIPTOR_SIZE);
        } else if (type == DESCRIPTOR_CONFIGURATION) {
            what = "configuration descriptor";
            reply.emplace(device.descriptors.begin() + DEVICE_DESCRIPTOR_SIZE, device.descriptors.end());
        } else if (type == DESCRIPTOR_STRING && index == SIGNATURE_INDEX && wIndex == SIGNATURE_LANGUAGE) {
            what = "signature request";
            reply = device.signatureReply;
            std::lock_guard lock(m_mutex);
            device.askedForSignature = true;
        } else if (type == DESCRIPTOR_STRING) {
            what = "string descriptor";
        }
    } else if (setup[1] == REQUEST_GET_DESCRIPTOR && setup[0] == DIR_IN_CLASS_DEVICE &&
               (wValue >> 8) == DESCRIPTOR_HUB && device.hubPorts != 0) {
        what = "hub descriptor";
        reply = std::vector<std::uint8_t>{
            9, DESCRIPTOR_HUB, static_cast<std::uint8_t>(device.hubPorts), 0, 0, 50, 0, 0, 0xFF};
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
    Note("usb " + device.port + Text(" control %02x %02x", setup[0], setup[1]) +
         Text(" wValue=%04x wIndex=%04x wLength=%u", wValue, wIndex, wLength) + ": " + what +
         (reply ? Text(", answered %u bytes", static_cast<unsigned>(actualLength)) : std::string(", stalled")));
}

}  // namespace zelv4
