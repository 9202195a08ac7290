#include "device/linux/HidrawPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "device/HidReportDescriptor.h"
#include "device/SysfsValues.h"
#include "device/linux/UdevDevice.h"
#include "device/linux/UdevHidMonitor.h"

namespace zelv4 {

namespace {

constexpr const char* DEV_DIR = "/dev";
constexpr const char* HIDRAW_SUBSYSTEM = "hidraw";
// hidraw refuses feature transfers longer than this (HID_MAX_BUFFER_SIZE).
constexpr std::size_t HIDRAW_MAX_TRANSFER = 4096;
constexpr unsigned HIDRAW_MAX_NODES = 4096;
// bcdDevice: four hex digits.
constexpr std::size_t BCD_DEVICE_DIGITS = 4;

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The nearest ancestor in `subsystem` of the hidraw node at `path`: its HID device,
// or its USB device; none for other paths.
std::optional<UdevDevice> NodeAncestor(const UdevApi& api, const std::string& path, const char* subsystem,
                                       const char* devtype)
{
    const std::string name = BaseName(path);
    if (!HidrawNodeNumber(name))
        return std::nullopt;
    const std::optional<UdevDevice> node = UdevDevice::Find(api, HIDRAW_SUBSYSTEM, name);
    return node ? node->Ancestor(subsystem, devtype) : std::nullopt;
}

std::optional<UdevDevice> UsbDeviceOf(const UdevApi& api, const std::string& path)
{
    return NodeAncestor(api, path, "usb", "usb_device");
}

class HidrawList : public HidInterfaceList {
public:
    HidrawList(const UdevApi& api, std::vector<std::string> names) : m_api(api), m_names(std::move(names)) {}

    bool EnumInterface(unsigned index) override { return index < m_names.size(); }

    std::optional<std::string> InterfacePath(unsigned index) override
    {
        if (index >= m_names.size())
            return std::nullopt;
        // The node went away since the listing: the detail query fails.
        if (!UdevDevice::Find(m_api, HIDRAW_SUBSYSTEM, m_names[index]))
            return std::nullopt;
        return std::string(DEV_DIR) + "/" + m_names[index];
    }

private:
    const UdevApi& m_api;
    std::vector<std::string> m_names;
};

struct flock WholeFileLock()
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

class HidrawHandle : public HidDeviceHandle {
public:
    HidrawHandle(const UdevApi& api, int fd, std::string path) : m_api(api), m_fd(fd), m_path(std::move(path)) {}
    ~HidrawHandle() override { ::close(m_fd); }
    HidrawHandle(const HidrawHandle&) = delete;
    HidrawHandle& operator=(const HidrawHandle&) = delete;

    bool SetFeature(const std::uint8_t* report, std::size_t length) override
    {
        if (length == 0 || length > HIDRAW_MAX_TRANSFER)
            return false;
        std::vector<std::uint8_t> buffer(report, report + length);
        const int sent = ::ioctl(m_fd, HIDIOCSFEATURE(length), buffer.data());
        return sent >= 0 && static_cast<std::size_t>(sent) == length;
    }

    bool GetFeature(std::uint8_t* report, std::size_t length) override
    {
        if (length == 0 || length > HIDRAW_MAX_TRANSFER)
            return false;
        const int received = ::ioctl(m_fd, HIDIOCGFEATURE(length), report);
        return received >= 0 && static_cast<std::size_t>(received) == length;
    }

    bool GetAttributes(HidAttributes& attributes) override
    {
        hidraw_devinfo info{};
        if (::ioctl(m_fd, HIDIOCGRAWINFO, &info) < 0)
            return false;
        attributes.VendorID = static_cast<std::uint16_t>(info.vendor);
        attributes.ProductID = static_cast<std::uint16_t>(info.product);
        attributes.VersionNumber = ReadVersion();
        return true;
    }

    bool GetPreparsedData() override
    {
        m_caps.reset();
        int size = 0;
        if (::ioctl(m_fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 ||
            static_cast<std::size_t>(size) > HID_DESCRIPTOR_MAX_BYTES)
            return false;
        hidraw_report_descriptor descriptor{};
        descriptor.size = static_cast<std::uint32_t>(size);
        if (::ioctl(m_fd, HIDIOCGRDESC, &descriptor) < 0)
            return false;
        m_caps = ParseHidReportDescriptor(std::span<const std::uint8_t>(descriptor.value, descriptor.size));
        return m_caps.has_value();
    }

    bool GetCaps(HidCaps& caps) override
    {
        if (!m_caps)
            return false;
        caps = *m_caps;
        return true;
    }

    // An open file description lock: taken like flock(), but another program can
    // test it without taking it.
    bool LockExclusive() override
    {
        struct flock lock = WholeFileLock();
        if (::fcntl(m_fd, F_OFD_SETLK, &lock) == 0)
            return true;
        // Only a lock held elsewhere refuses the device; a node that cannot be
        // locked at all is used without one.
        return errno != EAGAIN && errno != EACCES;
    }

    bool LockedElsewhere() override
    {
        struct flock lock = WholeFileLock();
        return ::fcntl(m_fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    }

private:
    // bcdDevice of the USB device the interface belongs to; 0 when the interface is
    // not on USB.
    std::uint16_t ReadVersion() const
    {
        const std::optional<UdevDevice> usb = UsbDeviceOf(m_api, m_path);
        const std::optional<std::string> text = usb ? usb->Attribute("bcdDevice") : std::nullopt;
        const std::optional<unsigned> version = text ? ParseSysfsHex(*text, BCD_DEVICE_DIGITS) : std::nullopt;
        return static_cast<std::uint16_t>(version.value_or(0));
    }

    const UdevApi& m_api;
    int m_fd;
    std::string m_path;
    std::optional<HidCaps> m_caps;
};

}  // namespace

std::unique_ptr<HidInterfaceList> HidrawPlatform::GetClassDevices()
{
    const std::optional<std::vector<std::string>> listed = ListUdevDevices(m_udev, HIDRAW_SUBSYSTEM);
    if (!listed)
        return nullptr;
    // In node number order: the order in which the kernel made them.
    std::vector<std::pair<unsigned, std::string>> nodes;
    for (const std::string& name : *listed) {
        if (const auto number = HidrawNodeNumber(name); number && nodes.size() < HIDRAW_MAX_NODES)
            nodes.emplace_back(*number, name);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> names;
    names.reserve(nodes.size());
    for (auto& node : nodes)
        names.push_back(std::move(node.second));
    return std::make_unique<HidrawList>(m_udev, std::move(names));
}

std::optional<HidAttributes> HidrawPlatform::PeekAttributes(const std::string& path)
{
    const std::optional<UdevDevice> hid = NodeAncestor(m_udev, path, "hid", nullptr);
    const std::optional<std::string> id = hid ? hid->Property("HID_ID") : std::nullopt;
    const std::optional<HidIds> ids = id ? ParseHidId(*id) : std::nullopt;
    if (!ids)
        return std::nullopt;
    HidAttributes attributes;
    attributes.VendorID = ids->vendor;
    attributes.ProductID = ids->product;
    return attributes;
}

std::optional<std::string> HidrawPlatform::PortPath(const std::string& path)
{
    const std::optional<UdevDevice> usb = UsbDeviceOf(m_udev, path);
    if (!usb)
        return std::nullopt;
    const std::optional<std::string> bus = usb->Attribute("busnum");
    const std::optional<std::string> ports = usb->Attribute("devpath");
    return bus && ports ? UsbPortPath(*bus, *ports) : std::nullopt;
}

std::unique_ptr<HidChangeMonitor> HidrawPlatform::MonitorChanges()
{
    if (std::unique_ptr<HidChangeMonitor> monitor = UdevHidMonitor::Create(m_udev, DEV_DIR))
        return monitor;
    return HidPlatform::MonitorChanges();
}

std::unique_ptr<HidDeviceHandle> HidrawPlatform::Open(const std::string& path, HidOpenError& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = (errno == EACCES || errno == EPERM) ? HidOpenError::PermissionDenied : HidOpenError::Failed;
        return nullptr;
    }
    error = HidOpenError::None;
    return std::make_unique<HidrawHandle>(m_udev, fd, path);
}

}  // namespace zelv4
