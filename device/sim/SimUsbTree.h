#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/UsbBusPlatform.h"

namespace zelv4 {

// What hangs on one port of a simulated hub.
struct SimUsbPort {
    // The port's connection information request fails.
    bool connectionInfoFails = false;
    bool connected = false;
    bool isHub = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;

    // The signature request's answer: the descriptor bytes, or no answer with the
    // reason in requestError.
    std::optional<std::vector<std::uint8_t>> signatureReply;
    UsbRequestError requestError = UsbRequestError::Failed;

    // For a hub: the name its downstream hub name request gives; none: it fails.
    std::optional<std::string> downstreamHubName;
};

struct SimUsbHub {
    unsigned portCount = 0;
    bool openFails = false;
    bool nodeInfoFails = false;
    std::map<unsigned, SimUsbPort> ports;
};

// One control request a simulated device was sent.
struct SimUsbRequest {
    std::string hubName;
    unsigned port = 0;
    UsbSetupPacket setup;
};

// A simulated USB tree: host controllers by number, each with a root hub, hubs with
// ports, and devices on ports that answer the signature request as scripted. Scans
// may run on any thread; scripting is for before them.
class SimUsbTree : public UsbBusPlatform {
public:
    // Vendor and product of a ZEL-V4 outside ISP mode, as the simulated machine shows it.
    static constexpr std::uint16_t SIGNATURE_DEVICE_VENDOR_ID = 0x040B;
    static constexpr std::uint16_t SIGNATURE_DEVICE_PRODUCT_ID = 0x6875;

    // A string descriptor as a device returns it: length byte, type 3, UTF-16LE text.
    static std::vector<std::uint8_t> StringDescriptor(std::u16string_view text);

    // Adds host controller `index` with a root hub of `portCount` ports; returns
    // the root hub's name. Any index can be added, also ones the scan never opens.
    std::string AddController(unsigned index, unsigned portCount);
    // A controller that opens but whose root hub name request fails.
    void AddControllerWithoutRootHub(unsigned index);
    // Attaches a hub of `portCount` ports to a port; returns its name.
    std::string AttachHub(const std::string& parentHub, unsigned port, unsigned portCount);
    // Attaches a device that answers the signature request with `reply`, or fails
    // it with `error` when there is no reply.
    SimUsbPort& AttachDevice(const std::string& hubName, unsigned port, std::optional<std::vector<std::uint8_t>> reply,
                             UsbRequestError error = UsbRequestError::Failed);
    // Attaches a ZEL-V4 answering the product signature.
    SimUsbPort& AttachSignatureDevice(const std::string& hubName, unsigned port);

    // The default machine's bus: controller 0 whose root hub has a ZEL-V4 on port 1
    // and a mouse that does not know the signature request on port 2.
    void AddDefaultBus();

    // Direct access for scripting failures; the hub or port is created if missing.
    SimUsbHub& Hub(const std::string& name);
    SimUsbPort& Port(const std::string& hubName, unsigned port);

    // Every control request sent to a device, in order.
    const std::vector<SimUsbRequest>& Requests() const { return m_requests; }
    // How many hubs were opened in all.
    unsigned HubOpens() const { return m_hubOpens; }

    std::unique_ptr<UsbHostController> OpenHostController(unsigned index) override;
    std::unique_ptr<UsbHub> OpenHub(const std::string& name) override;

private:
    friend class SimUsbHubHandle;

    // Scans on several threads at once (programmers working side by side).
    std::mutex m_mutex;
    // Root hub name per controller; no value: the name request fails.
    std::map<unsigned, std::optional<std::string>> m_controllers;
    std::map<std::string, SimUsbHub> m_hubs;
    std::vector<SimUsbRequest> m_requests;
    unsigned m_hubOpens = 0;
};

}  // namespace zelv4
