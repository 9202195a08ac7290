#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelv4 {

struct UsbPortConnection {
    bool connected = false;  // a device is attached to the port
    bool isHub = false;      // the attached device is a hub
    // From the attached device's device descriptor; 0 when nothing is attached.
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The standard setup packet of a control request sent through a hub port.
struct UsbSetupPacket {
    std::uint8_t bmRequest = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

// Why a descriptor request brought no bytes back.
enum class UsbRequestError {
    None,
    NotOpened,         // the device could not be opened: it was not asked
    PermissionDenied,  // as NotOpened, for lack of access rights to its node
    Failed,            // the device was asked and the request failed
};

// One opened hub, asked about its ports. Closing is destruction.
class UsbHub {
public:
    virtual ~UsbHub() = default;
    virtual std::optional<unsigned> PortCount() = 0;
    // Ports count from 1.
    virtual std::optional<UsbPortConnection> ConnectionInformation(unsigned port) = 0;
    // The descriptor bytes the device returned for a GET_DESCRIPTOR; no value on
    // failure, with the reason in error.
    virtual std::optional<std::vector<std::uint8_t>> GetDescriptor(unsigned port, const UsbSetupPacket& setup,
                                                                   UsbRequestError& error) = 0;
    // The name that OpenHub takes for the hub attached to this port.
    virtual std::optional<std::string> DownstreamHubName(unsigned port) = 0;
};

class UsbHostController {
public:
    virtual ~UsbHostController() = default;
    virtual std::optional<std::string> RootHubName() = 0;
};

// One platform need: walking the host controllers and hubs.
class UsbBusPlatform {
public:
    virtual ~UsbBusPlatform() = default;
    // Controllers are numbered 0 to 9; null when that one cannot be opened.
    virtual std::unique_ptr<UsbHostController> OpenHostController(unsigned index) = 0;
    virtual std::unique_ptr<UsbHub> OpenHub(const std::string& name) = 0;
};

}  // namespace zelv4
