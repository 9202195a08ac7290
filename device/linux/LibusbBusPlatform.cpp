#include "device/linux/LibusbBusPlatform.h"

#include <libusb.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace zelv4 {

namespace {

// Control requests to a device that does not answer give up after this long.
constexpr unsigned USB_CONTROL_TIMEOUT_MS = 1000;
// USB 3 allows seven tiers of ports below a root hub.
constexpr int USB_MAX_PORT_PATH = 7;

constexpr std::uint8_t USB_CLASS_HUB = 0x09;
// GET_DESCRIPTOR for the hub class descriptor, USB 2 and SuperSpeed flavours.
constexpr std::uint8_t HUB_CLASS_IN_DEVICE = 0xA0;
constexpr std::uint8_t USB_REQUEST_GET_DESCRIPTOR = 6;
constexpr std::uint16_t HUB_DESCRIPTOR = 0x2900;
constexpr std::uint16_t SUPERSPEED_HUB_DESCRIPTOR = 0x2A00;
constexpr std::size_t HUB_DESCRIPTOR_MAX = 12;
constexpr std::size_t HUB_DESCRIPTOR_PORTS_OFFSET = 2;

constexpr std::string_view HUB_NAME_PREFIX = "usb:";

struct HubPlace {
    unsigned bus = 0;
    std::vector<std::uint8_t> ports;  // empty for the root hub
};

std::string HubName(const HubPlace& place)
{
    std::string name(HUB_NAME_PREFIX);
    name += std::to_string(place.bus);
    for (std::size_t i = 0; i < place.ports.size(); ++i) {
        name += i == 0 ? '-' : '.';
        name += std::to_string(place.ports[i]);
    }
    return name;
}

std::optional<unsigned> ParseNumber(std::string_view text, unsigned max)
{
    unsigned value = 0;
    const auto* end = text.data() + text.size();
    const auto [next, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || next != end || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<HubPlace> ParseHubName(std::string_view name)
{
    if (!name.starts_with(HUB_NAME_PREFIX)) {
        return std::nullopt;
    }
    name.remove_prefix(HUB_NAME_PREFIX.size());
    HubPlace place;
    const auto dash = name.find('-');
    const auto bus = ParseNumber(name.substr(0, dash), 255);
    if (!bus) {
        return std::nullopt;
    }
    place.bus = *bus;
    if (dash == std::string_view::npos) {
        return place;
    }
    auto rest = name.substr(dash + 1);
    while (true) {
        const auto dot = rest.find('.');
        const auto port = ParseNumber(rest.substr(0, dot), 255);
        if (!port || *port == 0 || place.ports.size() == USB_MAX_PORT_PATH) {
            return std::nullopt;
        }
        place.ports.push_back(static_cast<std::uint8_t>(*port));
        if (dot == std::string_view::npos) {
            return place;
        }
        rest = rest.substr(dot + 1);
    }
}

std::vector<std::uint8_t> PortPath(libusb_device* device)
{
    std::uint8_t ports[USB_MAX_PORT_PATH];
    const int count = libusb_get_port_numbers(device, ports, USB_MAX_PORT_PATH);
    if (count <= 0) {
        return {};
    }
    return {ports, ports + count};
}

bool IsHub(libusb_device* device)
{
    libusb_device_descriptor descriptor{};
    return libusb_get_device_descriptor(device, &descriptor) == 0 && descriptor.bDeviceClass == USB_CLASS_HUB;
}

// A reference on a libusb device, dropped with the holder.
class DeviceRef {
public:
    explicit DeviceRef(libusb_device* device) : m_device(libusb_ref_device(device)) {}
    DeviceRef(DeviceRef&& other) noexcept : m_device(std::exchange(other.m_device, nullptr)) {}
    DeviceRef& operator=(DeviceRef&&) = delete;
    DeviceRef(const DeviceRef&) = delete;
    ~DeviceRef()
    {
        if (m_device != nullptr) {
            libusb_unref_device(m_device);
        }
    }
    libusb_device* get() const { return m_device; }

private:
    libusb_device* m_device;
};

// The present devices, held while the list lives.
class DeviceList {
public:
    explicit DeviceList(libusb_context* context)
    {
        const auto count = libusb_get_device_list(context, &m_list);
        m_count = count < 0 ? 0 : static_cast<std::size_t>(count);
        if (count < 0) {
            m_list = nullptr;
        }
    }
    ~DeviceList()
    {
        if (m_list != nullptr) {
            libusb_free_device_list(m_list, 1);
        }
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    libusb_device* const* begin() const { return m_list; }
    libusb_device* const* end() const { return m_list + m_count; }

private:
    libusb_device** m_list = nullptr;
    std::size_t m_count = 0;
};

class DeviceHandle {
public:
    DeviceHandle() = default;
    ~DeviceHandle()
    {
        if (m_handle != nullptr) {
            libusb_close(m_handle);
        }
    }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    int Open(libusb_device* device) { return libusb_open(device, &m_handle); }
    libusb_device_handle* get() const { return m_handle; }

private:
    libusb_device_handle* m_handle = nullptr;
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
    LibusbHub(HubPlace place, DeviceRef hub, std::vector<std::pair<unsigned, DeviceRef>> children)
        : m_place(std::move(place)), m_hub(std::move(hub)), m_children(std::move(children))
    {}

    std::optional<unsigned> PortCount() override
    {
        if (const auto fromDescriptor = PortCountFromHubDescriptor()) {
            return fromDescriptor;
        }
        // Without access to the hub itself, the ports that have something attached
        // are all the scan needs.
        unsigned highest = 0;
        for (const auto& [port, device] : m_children) {
            highest = std::max(highest, port);
        }
        return highest;
    }

    std::optional<UsbPortConnection> ConnectionInformation(unsigned port) override
    {
        UsbPortConnection info;
        auto* device = Child(port);
        if (device == nullptr) {
            return info;
        }
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) {
            return std::nullopt;
        }
        info.connected = true;
        info.isHub = descriptor.bDeviceClass == USB_CLASS_HUB;
        info.vendorId = descriptor.idVendor;
        info.productId = descriptor.idProduct;
        return info;
    }

    std::optional<std::vector<std::uint8_t>> GetDescriptor(unsigned port, const UsbSetupPacket& setup,
                                                           UsbRequestError& error) override
    {
        auto* device = Child(port);
        if (device == nullptr) {
            error = UsbRequestError::NotOpened;
            return std::nullopt;
        }
        DeviceHandle handle;
        const int opened = handle.Open(device);
        if (opened != 0) {
            error = opened == LIBUSB_ERROR_ACCESS ? UsbRequestError::PermissionDenied : UsbRequestError::NotOpened;
            return std::nullopt;
        }
        std::vector<std::uint8_t> buffer(setup.wLength);
        const int got = libusb_control_transfer(handle.get(), setup.bmRequest, setup.bRequest, setup.wValue,
                                                setup.wIndex, buffer.data(), setup.wLength, USB_CONTROL_TIMEOUT_MS);
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
        auto* device = Child(port);
        if (device == nullptr || !IsHub(device)) {
            return std::nullopt;
        }
        HubPlace downstream = m_place;
        downstream.ports.push_back(static_cast<std::uint8_t>(port));
        return HubName(downstream);
    }

private:
    libusb_device* Child(unsigned port) const
    {
        for (const auto& [childPort, device] : m_children) {
            if (childPort == port) {
                return device.get();
            }
        }
        return nullptr;
    }

    std::optional<unsigned> PortCountFromHubDescriptor()
    {
        DeviceHandle handle;
        if (handle.Open(m_hub.get()) != 0) {
            return std::nullopt;
        }
        for (const std::uint16_t type : {HUB_DESCRIPTOR, SUPERSPEED_HUB_DESCRIPTOR}) {
            std::uint8_t buffer[HUB_DESCRIPTOR_MAX] = {};
            const int got = libusb_control_transfer(handle.get(), HUB_CLASS_IN_DEVICE, USB_REQUEST_GET_DESCRIPTOR, type,
                                                    0, buffer, sizeof buffer, USB_CONTROL_TIMEOUT_MS);
            if (got > static_cast<int>(HUB_DESCRIPTOR_PORTS_OFFSET)) {
                return buffer[HUB_DESCRIPTOR_PORTS_OFFSET];
            }
        }
        return std::nullopt;
    }

    HubPlace m_place;
    DeviceRef m_hub;
    std::vector<std::pair<unsigned, DeviceRef>> m_children;
};

}  // namespace

LibusbBusPlatform::~LibusbBusPlatform()
{
    if (m_context != nullptr) {
        libusb_exit(m_context);
    }
}

libusb_context* LibusbBusPlatform::Context()
{
    // Workers programming chips side by side may scan at once; libusb itself is
    // thread-safe once its context exists.
    const std::lock_guard lock(m_contextMutex);
    if (m_context == nullptr && !m_initFailed) {
        m_initFailed = libusb_init(&m_context) != 0;
        if (m_initFailed) {
            m_context = nullptr;
        }
    }
    return m_context;
}

std::unique_ptr<UsbHostController> LibusbBusPlatform::OpenHostController(unsigned index)
{
    auto* context = Context();
    if (context == nullptr) {
        return nullptr;
    }
    std::set<unsigned> buses;
    for (auto* device : DeviceList(context)) {
        if (libusb_get_parent(device) == nullptr && PortPath(device).empty()) {
            buses.insert(libusb_get_bus_number(device));
        }
    }
    if (index >= buses.size()) {
        return nullptr;
    }
    return std::make_unique<LibusbHostController>(*std::next(buses.begin(), index));
}

std::unique_ptr<UsbHub> LibusbBusPlatform::OpenHub(const std::string& name)
{
    auto* context = Context();
    const auto place = ParseHubName(name);
    if (context == nullptr || !place) {
        return nullptr;
    }
    const DeviceList devices(context);
    libusb_device* hub = nullptr;
    std::vector<std::pair<unsigned, DeviceRef>> children;
    for (auto* device : devices) {
        if (libusb_get_bus_number(device) != place->bus) {
            continue;
        }
        auto path = PortPath(device);
        if (path == place->ports) {
            hub = device;
        } else if (path.size() == place->ports.size() + 1 &&
                   std::equal(place->ports.begin(), place->ports.end(), path.begin())) {
            children.emplace_back(path.back(), DeviceRef(device));
        }
    }
    // Below the root hub, only a hub has ports to scan.
    if (hub == nullptr || (!place->ports.empty() && !IsHub(hub))) {
        return nullptr;
    }
    return std::make_unique<LibusbHub>(*place, DeviceRef(hub), std::move(children));
}

}  // namespace zelv4
