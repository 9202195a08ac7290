#include "device/win32/Win32UsbBusPlatform.h"

#include <windows.h>

#include <winioctl.h>

#include <usbioctl.h>

#include <cstdio>
#include <vector>

#include "device/UsbIoctlBuffers.h"
#include "device/win32/WideToAnsi.h"

namespace zelv4 {

namespace usb = usbioctl;

// The byte layouts are read by hand; they must be the driver interface's own.
static_assert(usb::CODE_GET_ROOT_HUB_NAME == IOCTL_USB_GET_ROOT_HUB_NAME);
static_assert(usb::CODE_GET_NODE_INFORMATION == IOCTL_USB_GET_NODE_INFORMATION);
static_assert(usb::CODE_GET_NODE_CONNECTION_INFORMATION == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION);
static_assert(usb::CODE_GET_DESCRIPTOR_FROM_NODE_CONNECTION == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION);
static_assert(usb::CODE_GET_NODE_CONNECTION_NAME == IOCTL_USB_GET_NODE_CONNECTION_NAME);
static_assert(usb::ROOT_HUB_NAME_QUERY_SIZE == sizeof(USB_ROOT_HUB_NAME));
static_assert(usb::NODE_INFORMATION_SIZE == sizeof(USB_NODE_INFORMATION));
static_assert(usb::CONNECTION_INFORMATION_HEADER_SIZE == sizeof(USB_NODE_CONNECTION_INFORMATION));
static_assert(usb::CONNECTION_INFORMATION_SIZE == sizeof(USB_NODE_CONNECTION_INFORMATION) + 30 * sizeof(USB_PIPE_INFO));
static_assert(usb::CONNECTION_DEVICE_IS_HUB_OFFSET == offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceIsHub));
static_assert(usb::CONNECTION_STATUS_OFFSET == offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionStatus));
static_assert(usb::DESCRIPTOR_REQUEST_HEADER_SIZE == offsetof(USB_DESCRIPTOR_REQUEST, Data));
static_assert(usb::CONNECTION_NAME_QUERY_SIZE == sizeof(USB_NODE_CONNECTION_NAME));

namespace {

// Controllers and hubs are opened for writing, shared for writing, without flags.
HANDLE OpenNode(const std::string& name)
{
    return ::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// One DeviceIoControl with the buffer as input and output; the bytes returned, or
// none when the call fails.
std::optional<std::span<const std::uint8_t>> Ask(HANDLE node, std::uint32_t code, std::vector<std::uint8_t>& buffer)
{
    DWORD returned = 0;
    if (!::DeviceIoControl(node, code, buffer.data(), static_cast<DWORD>(buffer.size()), buffer.data(),
                           static_cast<DWORD>(buffer.size()), &returned, nullptr))
        return std::nullopt;
    return std::span<const std::uint8_t>(buffer.data(), std::min<std::size_t>(returned, buffer.size()));
}

// The same with no input, as the root hub name is asked.
std::optional<std::span<const std::uint8_t>> AskOut(HANDLE node, std::uint32_t code, std::vector<std::uint8_t>& buffer)
{
    DWORD returned = 0;
    if (!::DeviceIoControl(node, code, nullptr, 0, buffer.data(), static_cast<DWORD>(buffer.size()), &returned,
                           nullptr))
        return std::nullopt;
    return std::span<const std::uint8_t>(buffer.data(), std::min<std::size_t>(returned, buffer.size()));
}

std::optional<std::string> Ansi(const std::optional<std::u16string>& text)
{
    if (!text)
        return std::nullopt;
    return WideToAnsi(*text);
}

class Win32HostController : public UsbHostController {
public:
    explicit Win32HostController(HANDLE handle) : m_handle(handle) {}
    ~Win32HostController() override { ::CloseHandle(m_handle); }
    Win32HostController(const Win32HostController&) = delete;
    Win32HostController& operator=(const Win32HostController&) = delete;

    std::optional<std::string> RootHubName() override
    {
        std::vector<std::uint8_t> query(usb::ROOT_HUB_NAME_QUERY_SIZE, 0);
        const auto first = AskOut(m_handle, usb::CODE_GET_ROOT_HUB_NAME, query);
        const auto size = first ? usb::RootHubNameReplySize(*first) : std::nullopt;
        if (!size)
            return std::nullopt;
        std::vector<std::uint8_t> reply(*size, 0);
        const auto full = AskOut(m_handle, usb::CODE_GET_ROOT_HUB_NAME, reply);
        if (!full)
            return std::nullopt;
        return Ansi(usb::RootHubNameText(*full));
    }

private:
    HANDLE m_handle;
};

class Win32Hub : public UsbHub {
public:
    explicit Win32Hub(HANDLE handle) : m_handle(handle) {}
    ~Win32Hub() override { ::CloseHandle(m_handle); }
    Win32Hub(const Win32Hub&) = delete;
    Win32Hub& operator=(const Win32Hub&) = delete;

    std::optional<unsigned> PortCount() override
    {
        std::vector<std::uint8_t> buffer(usb::NODE_INFORMATION_SIZE, 0);
        const auto reply = Ask(m_handle, usb::CODE_GET_NODE_INFORMATION, buffer);
        return reply ? usb::NodePortCount(*reply) : std::nullopt;
    }

    std::optional<UsbPortConnection> ConnectionInformation(unsigned port) override
    {
        std::vector<std::uint8_t> buffer = usb::ConnectionRequest(port, usb::CONNECTION_INFORMATION_SIZE);
        const auto reply = Ask(m_handle, usb::CODE_GET_NODE_CONNECTION_INFORMATION, buffer);
        return reply ? usb::DecodeConnectionInformation(*reply) : std::nullopt;
    }

    std::optional<std::vector<std::uint8_t>> GetDescriptor(unsigned port, const UsbSetupPacket& setup,
                                                           UsbRequestError& error) override
    {
        std::vector<std::uint8_t> buffer = usb::DescriptorRequest(port, setup);
        const auto reply = Ask(m_handle, usb::CODE_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer);
        if (!reply) {
            error =
                ::GetLastError() == ERROR_ACCESS_DENIED ? UsbRequestError::PermissionDenied : UsbRequestError::Failed;
            return std::nullopt;
        }
        error = UsbRequestError::None;
        return usb::DescriptorReplyData(*reply);
    }

    std::optional<std::string> DownstreamHubName(unsigned port) override
    {
        std::vector<std::uint8_t> query = usb::ConnectionRequest(port, usb::CONNECTION_NAME_QUERY_SIZE);
        const auto first = Ask(m_handle, usb::CODE_GET_NODE_CONNECTION_NAME, query);
        const auto size = first ? usb::ConnectionNameReplySize(*first) : std::nullopt;
        if (!size)
            return std::nullopt;
        std::vector<std::uint8_t> reply = usb::ConnectionRequest(port, *size);
        const auto full = Ask(m_handle, usb::CODE_GET_NODE_CONNECTION_NAME, reply);
        if (!full)
            return std::nullopt;
        return Ansi(usb::ConnectionNameText(*full));
    }

private:
    HANDLE m_handle;
};

}  // namespace

std::unique_ptr<UsbHostController> Win32UsbBusPlatform::OpenHostController(unsigned index)
{
    char name[16];
    std::snprintf(name, sizeof name, "\\\\.\\HCD%u", index);
    const HANDLE handle = OpenNode(name);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32HostController>(handle);
}

std::unique_ptr<UsbHub> Win32UsbBusPlatform::OpenHub(const std::string& name)
{
    const HANDLE handle = OpenNode("\\\\.\\" + name);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32Hub>(handle);
}

}  // namespace zelv4
