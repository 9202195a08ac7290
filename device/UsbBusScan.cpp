#include "device/UsbBusScan.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace zelv4 {

namespace {

constexpr std::uint8_t USB_DIR_IN_STANDARD_DEVICE = 0x80;
constexpr std::uint8_t USB_REQUEST_GET_DESCRIPTOR = 6;
constexpr std::uint8_t USB_DESCRIPTOR_TYPE_STRING = 3;

// Where the scan is: which controller, and for the observer's sake nothing else
// than what it needs to say where a port is.
struct ScanState {
    UsbBusPlatform& platform;
    const UsbBusObserver* observer;
    unsigned controller = 0;
    int matches = 0;
};

// One hub being scanned: its name, the ports leading to it from the root hub, and
// how many hubs lie between it and the root hub.
struct HubPlace {
    std::string name;
    std::vector<unsigned> ports;
    unsigned tier = 0;
};

// What became of one signature request, for the observer.
struct SignatureAnswer {
    std::vector<std::uint8_t> reply;
    UsbRequestError error = UsbRequestError::None;
    bool replyRejected = false;
};

void Report(ScanState& state, UsbBusEvent event)
{
    if (state.observer == nullptr || !*state.observer) {
        return;
    }
    event.controller = state.controller;
    (*state.observer)(event);
}

UsbBusEvent PortEvent(UsbBusEventKind kind, const HubPlace& hub, unsigned port)
{
    UsbBusEvent event;
    event.kind = kind;
    event.hubName = hub.name;
    event.ports = hub.ports;
    event.ports.push_back(port);
    return event;
}

std::optional<std::u16string> QueryProductSignature(UsbHub& hub, unsigned port, SignatureAnswer& answer)
{
    UsbSetupPacket setup;
    setup.bmRequest = USB_DIR_IN_STANDARD_DEVICE;
    setup.bRequest = USB_REQUEST_GET_DESCRIPTOR;
    setup.wValue = static_cast<std::uint16_t>((USB_DESCRIPTOR_TYPE_STRING << 8) | SIGNATURE_DESC_INDEX);
    setup.wIndex = SIGNATURE_LANGID;
    setup.wLength = SIGNATURE_REPLY_LENGTH;

    answer.error = UsbRequestError::None;
    auto reply = hub.GetDescriptor(port, setup, answer.error);
    if (!reply) {
        if (answer.error == UsbRequestError::None) {
            answer.error = UsbRequestError::Failed;
        }
        return std::nullopt;
    }
    answer.reply = std::move(*reply);
    auto text = SignatureReplyText(answer.reply);
    answer.replyRejected = !text;
    return text;
}

void ScanHub(ScanState& state, const HubPlace& place);

void ScanHubPorts(ScanState& state, UsbHub& hub, unsigned portCount, const HubPlace& place)
{
    for (unsigned port = 1; port <= portCount; ++port) {
        const auto info = hub.ConnectionInformation(port);
        if (!info) {
            Report(state, PortEvent(UsbBusEventKind::PortFailed, place, port));
            continue;
        }

        if (info->connected && !info->isHub) {
            SignatureAnswer answer;
            const auto text = QueryProductSignature(hub, port, answer);
            auto event = PortEvent(UsbBusEventKind::DeviceAnswered, place, port);
            event.connection = *info;
            event.error = answer.error;
            event.reply = std::move(answer.reply);
            if (text) {
                event.text = *text;
                event.matched = IsProductSignature(*text);
                if (event.matched) {
                    ++state.matches;
                }
            } else if (answer.replyRejected) {
                event.kind = UsbBusEventKind::DeviceReplyRejected;
            } else if (answer.error == UsbRequestError::NotOpened ||
                       answer.error == UsbRequestError::PermissionDenied) {
                event.kind = UsbBusEventKind::DeviceNotAsked;
            } else {
                event.kind = UsbBusEventKind::DeviceNoAnswer;
            }
            Report(state, std::move(event));
        } else if (!info->isHub) {
            Report(state, PortEvent(UsbBusEventKind::PortEmpty, place, port));
        }

        // A hub's port is followed whatever its connection status says.
        if (info->isHub) {
            auto event = PortEvent(UsbBusEventKind::PortHub, place, port);
            event.connection = *info;
            Report(state, std::move(event));

            HubPlace downstream;
            downstream.ports = place.ports;
            downstream.ports.push_back(port);
            downstream.tier = place.tier + 1;
            if (downstream.tier > USB_MAX_HUB_TIERS_BELOW_ROOT) {
                auto tooDeep = PortEvent(UsbBusEventKind::HubTooDeep, place, port);
                tooDeep.connection = *info;
                Report(state, std::move(tooDeep));
                continue;
            }
            auto name = hub.DownstreamHubName(port);
            if (name) {
                downstream.name = std::move(*name);
                ScanHub(state, downstream);
            }
        }
    }
}

void ScanHub(ScanState& state, const HubPlace& place)
{
    UsbBusEvent event;
    event.hubName = place.name;
    event.ports = place.ports;

    const auto hub = state.platform.OpenHub(place.name);
    const auto portCount = hub ? hub->PortCount() : std::nullopt;
    if (!portCount) {
        event.kind = UsbBusEventKind::HubFailed;
        Report(state, std::move(event));
        return;
    }
    event.kind = UsbBusEventKind::HubScanned;
    event.portCount = std::min(*portCount, USB_MAX_HUB_PORTS);
    Report(state, event);
    ScanHubPorts(state, *hub, event.portCount, place);
}

void ScanHostController(ScanState& state, UsbHostController& controller)
{
    auto name = controller.RootHubName();
    if (name) {
        HubPlace root;
        root.name = std::move(*name);
        ScanHub(state, root);
    }
}

}  // namespace

std::optional<std::u16string> SignatureReplyText(std::span<const std::uint8_t> reply)
{
    if (reply.size() < 2 || reply[1] != USB_DESCRIPTOR_TYPE_STRING || reply[0] != reply.size() || reply[0] % 2 != 0) {
        return std::nullopt;
    }
    std::u16string text;
    for (std::size_t i = 2; i + 1 < reply.size(); i += 2) {
        text.push_back(static_cast<char16_t>(reply[i] | (reply[i + 1] << 8)));
    }
    return text;
}

bool IsProductSignature(std::u16string_view text)
{
    // The device's text may carry a zero unit; what follows it is not compared.
    const auto end = text.find(u'\0');
    if (end != std::u16string_view::npos) {
        text = text.substr(0, end);
    }
    return text == PRODUCT_SIGNATURE;
}

int UsbBusScan::CountBusDevices(const UsbBusObserver& observer)
{
    ScanState state{m_platform, &observer};
    for (unsigned index = 0; index < USB_MAX_HOST_CONTROLLERS; ++index) {
        const auto controller = m_platform.OpenHostController(index);
        if (controller) {
            state.controller = index;
            ScanHostController(state, *controller);
        }
    }
    return state.matches;
}

}  // namespace zelv4
