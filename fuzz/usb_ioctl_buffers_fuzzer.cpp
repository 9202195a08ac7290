// What the hub driver returns for the bus scan's control requests: any bytes must be
// read without looking past what came back, and nothing read may claim more than
// the reply holds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/UsbBusScan.h"
#include "device/UsbIoctlBuffers.h"

namespace usbioctl = zelv4::usbioctl;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> reply(data, size);

    const auto rootSize = usbioctl::RootHubNameReplySize(reply);
    const auto connectionSize = usbioctl::ConnectionNameReplySize(reply);
    if (rootSize && (*rootSize <= usbioctl::ROOT_HUB_NAME_QUERY_SIZE || *rootSize > usbioctl::NAME_REPLY_MAX_SIZE))
        __builtin_trap();
    if (connectionSize &&
        (*connectionSize <= usbioctl::CONNECTION_NAME_QUERY_SIZE || *connectionSize > usbioctl::NAME_REPLY_MAX_SIZE))
        __builtin_trap();
    const auto rootName = usbioctl::RootHubNameText(reply);
    const auto connectionName = usbioctl::ConnectionNameText(reply);
    if (rootName && (rootName->empty() || 2 * rootName->size() > size - usbioctl::ROOT_HUB_NAME_TEXT_OFFSET ||
                     rootName->find(u'\0') != std::u16string::npos))
        __builtin_trap();
    if (connectionName &&
        (connectionName->empty() || 2 * connectionName->size() > size - usbioctl::CONNECTION_NAME_TEXT_OFFSET ||
         connectionName->find(u'\0') != std::u16string::npos))
        __builtin_trap();

    const auto ports = usbioctl::NodePortCount(reply);
    if (ports.has_value() != (size > usbioctl::NODE_INFORMATION_PORT_COUNT_OFFSET) || (ports && *ports > 255))
        __builtin_trap();
    const auto connection = usbioctl::DecodeConnectionInformation(reply);
    if (connection.has_value() != (size >= usbioctl::CONNECTION_INFORMATION_HEADER_SIZE))
        __builtin_trap();
    if (connection && !connection->connected && (connection->vendorId != 0 || connection->productId != 0))
        __builtin_trap();

    // A descriptor reply, then the scan's check of it as the signature's answer.
    const auto descriptor = usbioctl::DescriptorReplyData(reply);
    const std::size_t expected =
        size > usbioctl::DESCRIPTOR_REQUEST_HEADER_SIZE ? size - usbioctl::DESCRIPTOR_REQUEST_HEADER_SIZE : 0;
    if (descriptor.size() != expected)
        __builtin_trap();
    const auto text = zelv4::SignatureReplyText(descriptor);
    if (text && (descriptor[0] != descriptor.size() || 2 * text->size() + 2 != descriptor.size()))
        __builtin_trap();
    return 0;
}
