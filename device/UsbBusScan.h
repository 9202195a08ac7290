#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/UsbBusPort.h"
#include "device/UsbBusPlatform.h"

namespace zelv4 {

// The signature a ZEL-V4 answers on the bus: string descriptor 0xFF asked with a
// language id of its own.
inline constexpr std::u16string_view PRODUCT_SIGNATURE = u"ZEL-V4";
inline constexpr std::uint8_t SIGNATURE_DESC_INDEX = 0xFF;
inline constexpr std::uint16_t SIGNATURE_LANGID = 0x6576;
inline constexpr std::uint16_t SIGNATURE_REPLY_LENGTH = 255;

// Host controllers looked for: 0 to 9.
inline constexpr unsigned USB_MAX_HOST_CONTROLLERS = 10;
// USB allows at most five hubs in a chain below the root hub; a deeper hub is a
// loop in the platform's answers or a broken tree, and is not scanned.
inline constexpr unsigned USB_MAX_HUB_TIERS_BELOW_ROOT = 5;
// A hub descriptor's port count is one byte.
inline constexpr unsigned USB_MAX_HUB_PORTS = 255;

// The text of a reply to the signature request: a string descriptor whose length
// byte is exactly the number of bytes that came back, in whole UTF-16 units; none
// for anything else, some other device's idea of an answer.
std::optional<std::u16string> SignatureReplyText(std::span<const std::uint8_t> reply);
// Whether `text` is PRODUCT_SIGNATURE, exactly: both end at their first zero unit.
bool IsProductSignature(std::u16string_view text);

// What the scan met at one place of the bus, for front ends that list it.
enum class UsbBusEventKind {
    HubScanned,           // a hub was opened; portCount is set
    HubFailed,            // a hub could not be opened or would not give its port count
    HubTooDeep,           // a hub deeper than USB allows; not scanned
    PortFailed,           // the port's connection information could not be had
    PortEmpty,            // nothing attached
    PortHub,              // a hub is attached: never asked itself, its ports are scanned
    DeviceAnswered,       // asked; the reply passed the checks; text is set
    DeviceReplyRejected,  // asked; the reply failed the descriptor checks; reply is set
    DeviceNoAnswer,       // asked; the request failed
    DeviceNotAsked,       // the device could not be opened; error says why
};

struct UsbBusEvent {
    UsbBusEventKind kind = UsbBusEventKind::PortEmpty;
    unsigned controller = 0;
    std::string hubName;          // the hub scanned, or the hub the port belongs to
    std::vector<unsigned> ports;  // ports from the root hub down to this port; empty for the root hub
    unsigned portCount = 0;
    UsbPortConnection connection;
    std::vector<std::uint8_t> reply;
    std::u16string text;
    bool matched = false;  // the text is the product signature
    UsbRequestError error = UsbRequestError::None;
};

using UsbBusObserver = std::function<void(const UsbBusEvent&)>;

// The scan of the host controllers and hubs for devices that answer the product
// signature. The platform must outlive it.
class UsbBusScan : public UsbBusPort {
public:
    explicit UsbBusScan(UsbBusPlatform& platform) : m_platform(platform) {}

    // Counts the devices anywhere on the bus that answer the signature request with
    // PRODUCT_SIGNATURE.
    int CountBusDevices() override { return CountBusDevices(UsbBusObserver()); }
    // The same scan; `observer` hears of every hub and port met.
    int CountBusDevices(const UsbBusObserver& observer);

private:
    UsbBusPlatform& m_platform;
};

}  // namespace zelv4
