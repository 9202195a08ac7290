#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/UsbBusPlatform.h"

namespace zelv4 {

// The buffers of the Windows USB host controller and hub control requests, built
// and read as plain bytes so that every build can test them. The layouts are the
// packed ones of the USB driver interface; none holds a pointer, so they are the
// same for 32- and 64-bit programs. Every reader looks only at the bytes the
// request returned.
namespace usbioctl {

inline constexpr std::uint32_t CODE_GET_ROOT_HUB_NAME = 0x220408;
// The same code value as the root hub name: controllers and hubs tell them apart.
inline constexpr std::uint32_t CODE_GET_NODE_INFORMATION = 0x220408;
inline constexpr std::uint32_t CODE_GET_NODE_CONNECTION_INFORMATION = 0x22040C;
inline constexpr std::uint32_t CODE_GET_DESCRIPTOR_FROM_NODE_CONNECTION = 0x220410;
inline constexpr std::uint32_t CODE_GET_NODE_CONNECTION_NAME = 0x220414;

// Root hub name: a 4-byte length of the whole reply, then the UTF-16 name.
inline constexpr std::size_t ROOT_HUB_NAME_QUERY_SIZE = 6;
inline constexpr std::size_t ROOT_HUB_NAME_TEXT_OFFSET = 4;
// Hub node information; byte 6 is the hub descriptor's port count.
inline constexpr std::size_t NODE_INFORMATION_SIZE = 76;
inline constexpr std::size_t NODE_INFORMATION_PORT_COUNT_OFFSET = 6;
// Port connection information: the 35-byte header and room for 30 pipes of 11 bytes.
inline constexpr std::size_t CONNECTION_INFORMATION_SIZE = 365;
inline constexpr std::size_t CONNECTION_INFORMATION_HEADER_SIZE = 35;
inline constexpr std::size_t CONNECTION_DEVICE_DESCRIPTOR_OFFSET = 4;
inline constexpr std::size_t CONNECTION_DEVICE_IS_HUB_OFFSET = 24;
inline constexpr std::size_t CONNECTION_STATUS_OFFSET = 31;
inline constexpr std::uint32_t CONNECTION_STATUS_DEVICE_CONNECTED = 1;
// Descriptor request: connection index, setup packet, then the descriptor.
inline constexpr std::size_t DESCRIPTOR_REQUEST_HEADER_SIZE = 12;
inline constexpr std::size_t DESCRIPTOR_REQUEST_SIZE = DESCRIPTOR_REQUEST_HEADER_SIZE + 255;
// Connection name: connection index, 4-byte length of the whole reply, UTF-16 name.
inline constexpr std::size_t CONNECTION_NAME_QUERY_SIZE = 10;
inline constexpr std::size_t CONNECTION_NAME_TEXT_OFFSET = 8;
// A name reply longer than this is not a hub name; its length field is not trusted
// with an allocation.
inline constexpr std::size_t NAME_REPLY_MAX_SIZE = 64 * 1024;

// A buffer of `size` zero bytes whose first four hold the connection index.
std::vector<std::uint8_t> ConnectionRequest(unsigned port, std::size_t size);
// The descriptor request for one port: zeroed, index and setup packet filled.
std::vector<std::uint8_t> DescriptorRequest(unsigned port, const UsbSetupPacket& setup);

// The size a name reply says it needs (the root hub name's length field at 0, the
// connection name's at 4); none when the reply is too short to hold the field,
// when the size is no bigger than the query's buffer (it then holds no more than
// the name's terminator), or when it is past NAME_REPLY_MAX_SIZE.
std::optional<std::size_t> RootHubNameReplySize(std::span<const std::uint8_t> reply);
std::optional<std::size_t> ConnectionNameReplySize(std::span<const std::uint8_t> reply);
// The UTF-16 name of a full name reply, up to its first zero unit or the end of
// the bytes returned; none when nothing is left of it.
std::optional<std::u16string> RootHubNameText(std::span<const std::uint8_t> reply);
std::optional<std::u16string> ConnectionNameText(std::span<const std::uint8_t> reply);

// The port count of a node information reply; none when byte 6 did not come back.
std::optional<unsigned> NodePortCount(std::span<const std::uint8_t> reply);
// A port's connection information; none when the header did not come back whole.
std::optional<UsbPortConnection> DecodeConnectionInformation(std::span<const std::uint8_t> reply);
// The descriptor a device returned: the reply's bytes after the request header.
// The scan accepts it only when its length byte equals their number, that is the
// bytes returned minus 12.
std::vector<std::uint8_t> DescriptorReplyData(std::span<const std::uint8_t> reply);

}  // namespace usbioctl
}  // namespace zelv4
