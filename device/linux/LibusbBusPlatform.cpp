#include "device/linux/LibusbBusPlatform.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "device/SysfsValues.h"
#include "device/linux/LibusbApi.h"
#include "device/linux/UdevDevice.h"

namespace zelv4 {

namespace {

// Control requests to a device that does not answer give up after this long.
constexpr unsigned USB_CONTROL_TIMEOUT_MS = 1000;
constexpr unsigned USB_CLASS_HUB = 0x09;
constexpr std::size_t CLASS_DIGITS = 2;
constexpr std::size_t ID_DIGITS = 4;

constexpr const char* USB_SUBSYSTEM = "usb";
constexpr std::string_view ROOT_HUB_PREFIX = "usb";
constexpr std::string_view HUB_NAME_PREFIX = "usb:";

struct HubPlace {
    unsigned bus = 0;
    std::vector<unsigned> ports;  // empty for the root hub
};

// The kernel's name of the device at `place`: "usb1" for a root hub, "1-2.3" below.
std::string DeviceName(const HubPlace& place)
{
    if (place.ports.empty())
        return std::string(ROOT_HUB_PREFIX) + std::to_string(place.bus);
    std::string name = std::to_string(place.bus);
    for (std::size_t i = 0; i < place.ports.size(); ++i)
        name += (i == 0 ? '-' : '.') + std::to_string(place.ports[i]);
    return name;
}

std::string HubName(const HubPlace& place)
{
    return std::string(HUB_NAME_PREFIX) + (place.ports.empty() ? std::to_string(place.bus) : DeviceName(place));
}

HubPlace Below(const HubPlace& place, unsigned port)
{
    HubPlace below = place;
    below.ports.push_back(port);
    return below;
}

std::optional<HubPlace> ParseHubName(std::string_view name)
{
    if (!name.starts_with(HUB_NAME_PREFIX))
        return std::nullopt;
    name.remove_prefix(HUB_NAME_PREFIX.size());
    const auto dash = name.find('-');
    HubPlace place;
    const auto bus = ParseSysfsDecimal(name.substr(0, dash), USB_BUS_NUMBER_MAX);
    if (!bus)
        return std::nullopt;
    place.bus = *bus;
    if (dash == std::string_view::npos)
        return place;
    // The rest is a devpath, as the kernel writes it.
    auto ports = ParseUsbDevpath(name.substr(dash + 1));
    if (!ports)
        return std::nullopt;
    place.ports = std::move(*ports);
    return place;
}

std::optional<unsigned> HexAttribute(const UdevDevice& device, const char* name, std::size_t digits)
{
    const std::optional<std::string> text = device.Attribute(name);
    return text ? ParseSysfsHex(*text, digits) : std::nullopt;
}

bool IsHub(const UdevDevice& device)
{
    return HexAttribute(device, "bDeviceClass", CLASS_DIGITS) == USB_CLASS_HUB;
}

// A device node opened for libusb, closed with the holder.
class NodeFile {
public:
    explicit NodeFile(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_CLOEXEC)), m_errno(errno) {}
    ~NodeFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NodeFile(const NodeFile&) = delete;
    NodeFile& operator=(const NodeFile&) = delete;

    int Fd() const { return m_fd; }
    bool Denied() const { return m_fd < 0 && (m_errno == EACCES || m_errno == EPERM); }

private:
    int m_fd;
    int m_errno;
};

class LibusbHostController : public UsbHostController {
public:
    explicit LibusbHostController(unsigned bus) : m_bus(bus) {}
    std::optional<std::string> RootHubName() override { return HubName(HubPlace{m_bus, {}}); }

private:
    unsigned m_bus;
};

class LibusbHub : public UsbHub {
public:
    LibusbHub(const UdevApi& udev, const LibusbApi& usb, libusb_context* context, HubPlace place, UdevDevice hub)
        : m_udev(udev), m_usb(usb), m_context(context), m_place(std::move(place)), m_hub(std::move(hub))
    {}

    // The kernel's count of the hub's ports: asking the hub itself would need access
    // to its node.
    std::optional<unsigned> PortCount() override
    {
        const std::optional<std::string> text = m_hub.Attribute("maxchild");
        return text ? ParseSysfsDecimal(*text, USB_PORT_NUMBER_MAX) : std::nullopt;
    }

    std::optional<UsbPortConnection> ConnectionInformation(unsigned port) override
    {
        UsbPortConnection info;
        const std::optional<UdevDevice> device = Child(port);
        if (!device)
            return info;
        const auto deviceClass = HexAttribute(*device, "bDeviceClass", CLASS_DIGITS);
        const auto vendor = HexAttribute(*device, "idVendor", ID_DIGITS);
        const auto product = HexAttribute(*device, "idProduct", ID_DIGITS);
        if (!deviceClass || !vendor || !product)
            return std::nullopt;
        info.connected = true;
        info.isHub = *deviceClass == USB_CLASS_HUB;
        info.vendorId = static_cast<std::uint16_t>(*vendor);
        info.productId = static_cast<std::uint16_t>(*product);
        return info;
    }

    std::optional<std::vector<std::uint8_t>> GetDescriptor(unsigned port, const UsbSetupPacket& setup,
                                                           UsbRequestError& error) override
    {
        const std::optional<UdevDevice> device = Child(port);
        const std::optional<std::string> node = device ? device->Node() : std::nullopt;
        error = UsbRequestError::NotOpened;
        if (!node || m_context == nullptr)
            return std::nullopt;
        const NodeFile file(*node);
        if (file.Fd() < 0) {
            if (file.Denied())
                error = UsbRequestError::PermissionDenied;
            return std::nullopt;
        }
        libusb_device_handle* handle = nullptr;
        if (m_usb.libusb_wrap_sys_device(m_context, file.Fd(), &handle) != 0)
            return std::nullopt;
        std::vector<std::uint8_t> buffer(setup.wLength);
        const int got =
            m_usb.libusb_control_transfer(handle, setup.bmRequest, setup.bRequest, setup.wValue, setup.wIndex,
                                          buffer.data(), setup.wLength, USB_CONTROL_TIMEOUT_MS);
        // Leaves the node open: it is the holder's to close.
        m_usb.libusb_close(handle);
        if (got < 0) {
            error = UsbRequestError::Failed;
            return std::nullopt;
        }
        error = UsbRequestError::None;
        buffer.resize(std::min<std::size_t>(static_cast<std::size_t>(got), buffer.size()));
        return buffer;
    }

    std::optional<std::string> DownstreamHubName(unsigned port) override
    {
        const std::optional<UdevDevice> device = Child(port);
        if (!device || !IsHub(*device))
            return std::nullopt;
        return HubName(Below(m_place, port));
    }

private:
    std::optional<UdevDevice> Child(unsigned port) const
    {
        return UdevDevice::Find(m_udev, USB_SUBSYSTEM, DeviceName(Below(m_place, port)));
    }

    const UdevApi& m_udev;
    const LibusbApi& m_usb;
    libusb_context* m_context;
    HubPlace m_place;
    UdevDevice m_hub;
};

}  // namespace

LibusbBusPlatform::~LibusbBusPlatform()
{
    if (m_context != nullptr)
        m_usb.libusb_exit(m_context);
}

libusb_context* LibusbBusPlatform::Context()
{
    // Workers programming chips side by side may scan at once; libusb itself is
    // thread-safe once its context exists.
    const std::lock_guard lock(m_mutex);
    if (m_context == nullptr && !m_initFailed) {
        // The devices come from udev: libusb neither lists the bus nor watches it.
        m_usb.libusb_set_option(nullptr, LIBUSB_OPTION_NO_DEVICE_DISCOVERY);
        m_initFailed = m_usb.libusb_init(&m_context) != 0;
        if (m_initFailed)
            m_context = nullptr;
    }
    return m_context;
}

std::vector<unsigned> LibusbBusPlatform::RootHubBuses()
{
    std::vector<unsigned> buses;
    for (const std::string& name :
         ListUdevDevices(m_udev, USB_SUBSYSTEM, "usb*").value_or(std::vector<std::string>{})) {
        const std::string_view number = std::string_view(name).substr(ROOT_HUB_PREFIX.size());
        if (const auto bus = ParseSysfsDecimal(number, USB_BUS_NUMBER_MAX))
            buses.push_back(*bus);
    }
    std::sort(buses.begin(), buses.end());
    buses.erase(std::unique(buses.begin(), buses.end()), buses.end());
    return buses;
}

std::unique_ptr<UsbHostController> LibusbBusPlatform::OpenHostController(unsigned index)
{
    std::vector<unsigned> buses;
    {
        const std::lock_guard lock(m_mutex);
        if (index == 0 || !m_buses)
            m_buses = RootHubBuses();
        buses = *m_buses;
    }
    if (index >= buses.size())
        return nullptr;
    return std::make_unique<LibusbHostController>(buses[index]);
}

std::unique_ptr<UsbHub> LibusbBusPlatform::OpenHub(const std::string& name)
{
    const auto place = ParseHubName(name);
    if (!place)
        return nullptr;
    std::optional<UdevDevice> hub = UdevDevice::Find(m_udev, USB_SUBSYSTEM, DeviceName(*place));
    // Below the root hub, only a hub has ports to scan.
    if (!hub || (!place->ports.empty() && !IsHub(*hub)))
        return nullptr;
    return std::make_unique<LibusbHub>(m_udev, m_usb, Context(), *place, std::move(*hub));
}

}  // namespace zelv4
