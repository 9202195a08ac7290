#include "device/linux/HidrawPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "device/HidReportDescriptor.h"
#include "device/linux/UdevHidMonitor.h"

namespace zelv4 {

namespace {

constexpr const char* HIDRAW_PREFIX = "hidraw";
// hidraw refuses feature transfers longer than this (HID_MAX_BUFFER_SIZE).
constexpr std::size_t HIDRAW_MAX_TRANSFER = 4096;
constexpr unsigned HIDRAW_MAX_NODES = 4096;
// How far up from a hidraw node its USB device is looked for.
constexpr unsigned SYSFS_MAX_ANCESTORS = 16;
// A uevent file is a few lines; past this many it is not one.
constexpr unsigned UEVENT_MAX_LINES = 64;

// A sysfs attribute file is at most a page.
constexpr std::size_t SYSFS_ATTRIBUTE_MAX = 4096;

// The text of a small sysfs file; none when it cannot be read. Opened close-on-exec
// like every descriptor of the program.
std::optional<std::string> ReadSysfsFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text(SYSFS_ATTRIBUTE_MAX, '\0');
    ssize_t got = 0;
    do {
        got = ::read(fd, text.data(), text.size());
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got < 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    return text;
}

// "hidraw12" -> 12; nothing for other names.
std::optional<unsigned> NodeNumber(const std::string& name)
{
    const std::string prefix = HIDRAW_PREFIX;
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    unsigned number = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return std::nullopt;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return number;
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first word of a sysfs attribute; empty when it cannot be read.
std::string ReadSysfsWord(const std::filesystem::path& path)
{
    const std::optional<std::string> content = ReadSysfsFile(path);
    std::string word;
    if (content)
        std::istringstream(*content) >> word;
    return word;
}

// The sysfs directories above what the link `sysLink` points to, nearest first.
std::vector<std::filesystem::path> SysfsAncestors(const std::string& sysLink)
{
    std::vector<std::filesystem::path> ancestors;
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(sysLink, error);
    if (error)
        return ancestors;
    std::filesystem::path dir = (std::filesystem::path(sysLink).parent_path() / link).lexically_normal();
    for (unsigned level = 0; level < SYSFS_MAX_ANCESTORS && dir.has_relative_path(); ++level) {
        dir = dir.parent_path();
        ancestors.push_back(dir);
    }
    return ancestors;
}

class HidrawList : public HidInterfaceList {
public:
    HidrawList(std::vector<std::string> names, std::string sysClassDir, std::string devDir)
        : m_names(std::move(names)), m_sysClassDir(std::move(sysClassDir)), m_devDir(std::move(devDir))
    {}

    bool EnumInterface(unsigned index) override { return index < m_names.size(); }

    std::optional<std::string> InterfacePath(unsigned index) override
    {
        if (index >= m_names.size())
            return std::nullopt;
        // The node went away since the listing: the detail query fails.
        if (::access((m_sysClassDir + "/" + m_names[index]).c_str(), F_OK) != 0)
            return std::nullopt;
        return m_devDir + "/" + m_names[index];
    }

private:
    std::vector<std::string> m_names;
    std::string m_sysClassDir;
    std::string m_devDir;
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
    HidrawHandle(int fd, std::string sysDeviceDir) : m_fd(fd), m_sysDeviceDir(std::move(sysDeviceDir)) {}
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
        // locked at all is used as before.
        return errno != EAGAIN && errno != EACCES;
    }

    bool LockedElsewhere() override
    {
        struct flock lock = WholeFileLock();
        return ::fcntl(m_fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    }

private:
    // bcdDevice of the USB device the interface belongs to: the nearest ancestor of
    // the hidraw node in sysfs that has one. 0 when the interface is not on USB.
    std::uint16_t ReadVersion() const
    {
        for (const std::filesystem::path& dir : SysfsAncestors(m_sysDeviceDir)) {
            const std::string text = ReadSysfsWord(dir / "bcdDevice");
            if (text.empty())
                continue;
            if (text.empty() || text.size() > 4)
                return 0;
            char* end = nullptr;
            const unsigned long value = std::strtoul(text.c_str(), &end, 16);
            return *end == '\0' ? static_cast<std::uint16_t>(value) : 0;
        }
        return 0;
    }

    int m_fd;
    std::string m_sysDeviceDir;
    std::optional<HidCaps> m_caps;
};

}  // namespace

HidrawPlatform::HidrawPlatform(std::string sysClassDir, std::string devDir)
    : m_sysClassDir(std::move(sysClassDir)), m_devDir(std::move(devDir))
{}

std::unique_ptr<HidInterfaceList> HidrawPlatform::GetClassDevices()
{
    DIR* dir = ::opendir(m_sysClassDir.c_str());
    // No hidraw class at all (module not loaded) is an empty list, not a failure.
    std::vector<std::pair<unsigned, std::string>> nodes;
    if (dir != nullptr) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (const auto number = NodeNumber(name); number && nodes.size() < HIDRAW_MAX_NODES)
                nodes.emplace_back(*number, name);
        }
        ::closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> names;
    names.reserve(nodes.size());
    for (auto& node : nodes)
        names.push_back(std::move(node.second));
    return std::make_unique<HidrawList>(std::move(names), m_sysClassDir, m_devDir);
}

std::optional<HidAttributes> HidrawPlatform::PeekAttributes(const std::string& path)
{
    const std::string name = BaseName(path);
    if (!NodeNumber(name))
        return std::nullopt;
    const std::optional<std::string> content = ReadSysfsFile(m_sysClassDir + "/" + name + "/device/uevent");
    if (!content)
        return std::nullopt;
    std::istringstream uevent(*content);
    std::string line;
    for (unsigned count = 0; count < UEVENT_MAX_LINES && std::getline(uevent, line); ++count) {
        // HID_ID=<bus>:<vendor>:<product>, each eight hex digits.
        unsigned bus = 0, vendor = 0, product = 0;
        char end = 0;
        if (line.rfind("HID_ID=", 0) == 0 &&
            std::sscanf(line.c_str() + 7, "%8x:%8x:%8x%c", &bus, &vendor, &product, &end) == 3 && vendor <= 0xFFFF &&
            product <= 0xFFFF) {
            HidAttributes attributes;
            attributes.VendorID = static_cast<std::uint16_t>(vendor);
            attributes.ProductID = static_cast<std::uint16_t>(product);
            return attributes;
        }
    }
    return std::nullopt;
}

std::optional<std::string> HidrawPlatform::PortPath(const std::string& path)
{
    const std::string name = BaseName(path);
    if (!NodeNumber(name))
        return std::nullopt;
    // The USB device is the nearest ancestor with a bus number and a port path
    // ("2.3"); the kernel names it "1-2.3" after both.
    // From the class entry, a link to the node's own directory in the device tree
    // (a "device" link is not there on every system).
    for (const std::filesystem::path& dir : SysfsAncestors(m_sysClassDir + "/" + name)) {
        const std::string bus = ReadSysfsWord(dir / "busnum");
        const std::string ports = ReadSysfsWord(dir / "devpath");
        if (!bus.empty() && !ports.empty())
            return ports == "0" ? std::nullopt : std::optional<std::string>(bus + "-" + ports);
    }
    return std::nullopt;
}

std::unique_ptr<HidChangeMonitor> HidrawPlatform::MonitorChanges()
{
    if (std::unique_ptr<HidChangeMonitor> monitor = UdevHidMonitor::Create(m_devDir))
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
    return std::make_unique<HidrawHandle>(fd, m_sysClassDir + "/" + BaseName(path));
}

}  // namespace zelv4
