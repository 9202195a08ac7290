#include "device/sim/SimUsbTree.h"

#include <utility>

namespace zelv4 {

namespace {

// A mouse of some other vendor: it stalls requests it does not know.
constexpr std::uint16_t MOUSE_VENDOR_ID = 0x046D;
constexpr std::uint16_t MOUSE_PRODUCT_ID = 0xC077;
constexpr unsigned DEFAULT_ROOT_PORTS = 4;

class SimUsbControllerHandle : public UsbHostController {
public:
    explicit SimUsbControllerHandle(std::optional<std::string> rootHub) : m_rootHub(std::move(rootHub)) {}
    std::optional<std::string> RootHubName() override { return m_rootHub; }

private:
    std::optional<std::string> m_rootHub;
};

}  // namespace

class SimUsbHubHandle : public UsbHub {
public:
    SimUsbHubHandle(SimUsbTree& tree, std::string name) : m_tree(tree), m_name(std::move(name)) {}

    std::optional<unsigned> PortCount() override
    {
        std::lock_guard lock(m_tree.m_mutex);
        const auto& hub = m_tree.m_hubs.at(m_name);
        if (hub.nodeInfoFails) {
            return std::nullopt;
        }
        return hub.portCount;
    }

    std::optional<UsbPortConnection> ConnectionInformation(unsigned port) override
    {
        std::lock_guard lock(m_tree.m_mutex);
        const auto* state = Find(port);
        UsbPortConnection info;
        if (state == nullptr) {
            return info;  // an empty port
        }
        if (state->connectionInfoFails) {
            return std::nullopt;
        }
        info.connected = state->connected;
        info.isHub = state->isHub;
        info.vendorId = state->vendorId;
        info.productId = state->productId;
        return info;
    }

    std::optional<std::vector<std::uint8_t>> GetDescriptor(unsigned port, const UsbSetupPacket& setup,
                                                           UsbRequestError& error) override
    {
        std::lock_guard lock(m_tree.m_mutex);
        m_tree.m_requests.push_back({m_name, port, setup});
        const auto* state = Find(port);
        if (state == nullptr || !state->connected) {
            error = UsbRequestError::NotOpened;
            return std::nullopt;
        }
        if (!state->signatureReply) {
            error = state->requestError == UsbRequestError::None ? UsbRequestError::Failed : state->requestError;
            return std::nullopt;
        }
        error = UsbRequestError::None;
        // Like a real device, never more than the request's wLength.
        auto reply = *state->signatureReply;
        if (reply.size() > setup.wLength) {
            reply.resize(setup.wLength);
        }
        return reply;
    }

    std::optional<std::string> DownstreamHubName(unsigned port) override
    {
        std::lock_guard lock(m_tree.m_mutex);
        const auto* state = Find(port);
        if (state == nullptr || !state->isHub) {
            return std::nullopt;
        }
        return state->downstreamHubName;
    }

private:
    const SimUsbPort* Find(unsigned port) const
    {
        const auto& ports = m_tree.m_hubs.at(m_name).ports;
        const auto it = ports.find(port);
        return it == ports.end() ? nullptr : &it->second;
    }

    SimUsbTree& m_tree;
    std::string m_name;
};

std::vector<std::uint8_t> SimUsbTree::StringDescriptor(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

std::string SimUsbTree::AddController(unsigned index, unsigned portCount)
{
    std::string name = "sim:usb" + std::to_string(index);
    m_controllers[index] = name;
    Hub(name).portCount = portCount;
    return name;
}

void SimUsbTree::AddControllerWithoutRootHub(unsigned index)
{
    m_controllers[index] = std::nullopt;
}

std::string SimUsbTree::AttachHub(const std::string& parentHub, unsigned port, unsigned portCount)
{
    // Names follow the port path: sim:usb0-2 for port 2 of root hub 0, sim:usb0-2.1 below it.
    const bool parentIsRoot = parentHub.find('-') == std::string::npos;
    std::string name = parentHub + (parentIsRoot ? "-" : ".") + std::to_string(port);
    auto& slot = Port(parentHub, port);
    slot = SimUsbPort{};
    slot.connected = true;
    slot.isHub = true;
    slot.downstreamHubName = name;
    Hub(name).portCount = portCount;
    return name;
}

SimUsbPort& SimUsbTree::AttachDevice(const std::string& hubName, unsigned port,
                                     std::optional<std::vector<std::uint8_t>> reply, UsbRequestError error)
{
    auto& slot = Port(hubName, port);
    slot = SimUsbPort{};
    slot.connected = true;
    slot.signatureReply = std::move(reply);
    slot.requestError = error;
    return slot;
}

SimUsbPort& SimUsbTree::AttachSignatureDevice(const std::string& hubName, unsigned port)
{
    auto& slot = AttachDevice(hubName, port, StringDescriptor(u"ZEL-V4"));
    slot.vendorId = SIGNATURE_DEVICE_VENDOR_ID;
    slot.productId = SIGNATURE_DEVICE_PRODUCT_ID;
    return slot;
}

void SimUsbTree::AddDefaultBus()
{
    const auto root = AddController(0, DEFAULT_ROOT_PORTS);
    AttachSignatureDevice(root, 1);
    auto& mouse = AttachDevice(root, 2, std::nullopt, UsbRequestError::Failed);
    mouse.vendorId = MOUSE_VENDOR_ID;
    mouse.productId = MOUSE_PRODUCT_ID;
}

SimUsbHub& SimUsbTree::Hub(const std::string& name)
{
    return m_hubs[name];
}

SimUsbPort& SimUsbTree::Port(const std::string& hubName, unsigned port)
{
    return Hub(hubName).ports[port];
}

std::unique_ptr<UsbHostController> SimUsbTree::OpenHostController(unsigned index)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_controllers.find(index);
    if (it == m_controllers.end()) {
        return nullptr;
    }
    return std::make_unique<SimUsbControllerHandle>(it->second);
}

std::unique_ptr<UsbHub> SimUsbTree::OpenHub(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_hubs.find(name);
    if (it == m_hubs.end() || it->second.openFails) {
        return nullptr;
    }
    ++m_hubOpens;
    return std::make_unique<SimUsbHubHandle>(*this, name);
}

}  // namespace zelv4
