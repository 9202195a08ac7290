#include "device/UsbIoctlBuffers.h"

#include <algorithm>

namespace zelv4::usbioctl {

namespace {

void PutLe16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

// A reply no bigger than the query's buffer holds at most the name's terminator.
std::optional<std::size_t> NameReplySize(std::span<const std::uint8_t> reply, std::size_t lengthOffset,
                                         std::size_t querySize)
{
    if (reply.size() < lengthOffset + 4)
        return std::nullopt;
    const std::uint32_t size = Le32(reply, lengthOffset);
    if (size <= querySize || size > NAME_REPLY_MAX_SIZE)
        return std::nullopt;
    return size;
}

std::optional<std::u16string> NameText(std::span<const std::uint8_t> reply, std::size_t textOffset)
{
    std::u16string text;
    for (std::size_t i = textOffset; i + 1 < reply.size(); i += 2) {
        const auto unit = static_cast<char16_t>(Le16(reply, i));
        if (unit == u'\0')
            break;
        text.push_back(unit);
    }
    if (text.empty())
        return std::nullopt;
    return text;
}

}  // namespace

std::vector<std::uint8_t> ConnectionRequest(unsigned port, std::size_t size)
{
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(size, 4), 0);
    PutLe32(buffer.data(), port);
    buffer.resize(size);
    return buffer;
}

std::vector<std::uint8_t> DescriptorRequest(unsigned port, const UsbSetupPacket& setup)
{
    std::vector<std::uint8_t> buffer = ConnectionRequest(port, DESCRIPTOR_REQUEST_SIZE);
    std::uint8_t* packet = buffer.data() + 4;
    packet[0] = setup.bmRequest;
    packet[1] = setup.bRequest;
    PutLe16(packet + 2, setup.wValue);
    PutLe16(packet + 4, setup.wIndex);
    PutLe16(packet + 6, setup.wLength);
    return buffer;
}

std::optional<std::size_t> RootHubNameReplySize(std::span<const std::uint8_t> reply)
{
    return NameReplySize(reply, 0, ROOT_HUB_NAME_QUERY_SIZE);
}

std::optional<std::size_t> ConnectionNameReplySize(std::span<const std::uint8_t> reply)
{
    return NameReplySize(reply, 4, CONNECTION_NAME_QUERY_SIZE);
}

std::optional<std::u16string> RootHubNameText(std::span<const std::uint8_t> reply)
{
    return NameText(reply, ROOT_HUB_NAME_TEXT_OFFSET);
}

std::optional<std::u16string> ConnectionNameText(std::span<const std::uint8_t> reply)
{
    return NameText(reply, CONNECTION_NAME_TEXT_OFFSET);
}

std::optional<unsigned> NodePortCount(std::span<const std::uint8_t> reply)
{
    if (reply.size() <= NODE_INFORMATION_PORT_COUNT_OFFSET)
        return std::nullopt;
    return reply[NODE_INFORMATION_PORT_COUNT_OFFSET];
}

std::optional<UsbPortConnection> DecodeConnectionInformation(std::span<const std::uint8_t> reply)
{
    if (reply.size() < CONNECTION_INFORMATION_HEADER_SIZE)
        return std::nullopt;
    UsbPortConnection connection;
    connection.connected = Le32(reply, CONNECTION_STATUS_OFFSET) == CONNECTION_STATUS_DEVICE_CONNECTED;
    connection.isHub = reply[CONNECTION_DEVICE_IS_HUB_OFFSET] != 0;
    if (connection.connected) {
        // idVendor and idProduct sit at 8 and 10 in the device descriptor.
        connection.vendorId = Le16(reply, CONNECTION_DEVICE_DESCRIPTOR_OFFSET + 8);
        connection.productId = Le16(reply, CONNECTION_DEVICE_DESCRIPTOR_OFFSET + 10);
    }
    return connection;
}

std::vector<std::uint8_t> DescriptorReplyData(std::span<const std::uint8_t> reply)
{
    if (reply.size() <= DESCRIPTOR_REQUEST_HEADER_SIZE)
        return {};
    return {reply.begin() + DESCRIPTOR_REQUEST_HEADER_SIZE, reply.end()};
}

}  // namespace zelv4::usbioctl
