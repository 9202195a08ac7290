#include "emulation/EmulatedLoader.h"

#include <cerrno>
#include <cstring>
#include <numeric>

namespace zelv4 {

namespace {

constexpr std::uint8_t ERASED = 0xFF;
// A weak cell keeps this bit inverted from what is programmed into it.
constexpr std::uint8_t CORRUPT_BIT = 0x01;

constexpr std::size_t OFFSET_REPORT_ID = 0;
constexpr std::size_t OFFSET_COMMAND = 1;
constexpr std::size_t OFFSET_ADDRESS_HIGH = 2;
constexpr std::size_t OFFSET_ADDRESS_LOW = 3;
constexpr std::size_t OFFSET_DATA_LENGTH = 4;
constexpr std::size_t OFFSET_DATA = 9;
// The loader's reports carry this report ID (its descriptor declares none).
constexpr std::uint8_t REPORT_ID = 0x00;

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::size_t AddressOf(const std::uint8_t* report)
{
    return (std::size_t{report[OFFSET_ADDRESS_HIGH]} << 8) | report[OFFSET_ADDRESS_LOW];
}

}  // namespace

void EmulatedLoader::BlockOrder::Add(unsigned block, unsigned transfer)
{
    const unsigned expected = last ? *last + 1 : 0;
    if (inOrder && block != expected) {
        inOrder = false;
        firstBreak = Format("block %u at transfer #%u, expected block %u", block, transfer, expected);
    }
    if (!first)
        first = block;
    last = block;
    ++count;
}

std::string EmulatedLoader::BlockOrder::Text() const
{
    if (count == 0)
        return "none";
    if (!inOrder)
        return "OUT OF ORDER: " + firstBreak;
    return Format("ascending %u-%u", *first, *last);
}

EmulatedLoader::EmulatedLoader(const LoaderOptions& options, std::FILE* log)
    : m_port(options.port), m_featureLength(options.featureLength), m_log(log), m_flash(options.flash),
      m_corruptAddress(options.corruptAddress), m_failAt(options.failAt), m_unplugAt(options.unplugAt),
      m_shortBy(options.shortBy)
{
    m_flash.resize(FLASH_SIZE, ERASED);
    ApplyCorruption();
}

std::vector<std::uint8_t> EmulatedLoader::ReportDescriptor(std::size_t featureLength)
{
    const auto featureBytes = static_cast<unsigned>(featureLength - 1);
    std::vector<std::uint8_t> d = {
        0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x95, 0x08,        //   Report Count (8)
        0x09, 0x02,        //   Usage (2)
        0x81, 0x02,        //   Input (Data, Var, Abs)
        0x95, 0x08,        //   Report Count (8)
        0x09, 0x03,        //   Usage (3)
        0x91, 0x02,        //   Output (Data, Var, Abs)
    };
    if (featureBytes <= 0xFF) {
        d.insert(d.end(), {0x95, static_cast<std::uint8_t>(featureBytes)});  // Report Count
    } else {
        d.insert(d.end(),
                 {0x96, static_cast<std::uint8_t>(featureBytes & 0xFF), static_cast<std::uint8_t>(featureBytes >> 8)});
    }
    d.insert(d.end(), {
                          0x09, 0x04,  //   Usage (4)
                          0xB1, 0x02,  //   Feature (Data, Var, Abs)
                          0xC0,        // End Collection
                      });
    return d;
}

void EmulatedLoader::ApplyCorruption()
{
    if (m_corruptAddress && *m_corruptAddress < m_flash.size())
        m_flash[*m_corruptAddress] ^= CORRUPT_BIT;
}

void EmulatedLoader::SetCorruptAddress(std::size_t address)
{
    std::lock_guard lock(m_mutex);
    m_corruptAddress = address;
    ApplyCorruption();
}

void EmulatedLoader::LoadFlash(const std::vector<std::uint8_t>& flash)
{
    std::lock_guard lock(m_mutex);
    m_flash = flash;
    m_flash.resize(FLASH_SIZE, ERASED);
    ApplyCorruption();
}

std::vector<std::uint8_t> EmulatedLoader::Flash() const
{
    std::lock_guard lock(m_mutex);
    return m_flash;
}

unsigned EmulatedLoader::Violations() const
{
    std::lock_guard lock(m_mutex);
    return m_violations;
}

unsigned EmulatedLoader::Transfers() const
{
    std::lock_guard lock(m_mutex);
    return m_transfers;
}

std::vector<std::vector<std::uint8_t>> EmulatedLoader::SetReports() const
{
    std::lock_guard lock(m_mutex);
    return m_setReports;
}

bool EmulatedLoader::Unplugged() const
{
    std::lock_guard lock(m_mutex);
    return m_unplugged;
}

void EmulatedLoader::Unplug()
{
    std::lock_guard lock(m_mutex);
    if (!m_unplugged)
        Log("unplugged");
    m_unplugged = true;
}

long EmulatedLoader::RefuseUnplugged(const std::string& what)
{
    std::lock_guard lock(m_mutex);
    ++m_afterUnplug;
    Log(what + " after the unplug: ENODEV");
    return -ENODEV;
}

std::string EmulatedLoader::Hex(const std::uint8_t* bytes, std::size_t count)
{
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i)
        text += Format("%02x", bytes[i]);
    return text;
}

void EmulatedLoader::Log(const std::string& line)
{
    if (m_log != nullptr) {
        std::fprintf(m_log, "%s #%04u %s\n", m_port.c_str(), m_transfers, line.c_str());
        std::fflush(m_log);
    }
}

void EmulatedLoader::Reject(const std::string& why)
{
    ++m_rejected;
    ++m_violations;
    Log("  REJECTED: " + why);
}

long EmulatedLoader::Scripted(const std::string& line)
{
    if (m_unplugAt && m_transfers >= *m_unplugAt) {
        m_unplugged = true;
        m_lastTransfer += " unplugged";
        Log(line + " UNPLUGGED: ENODEV");
        return -ENODEV;
    }
    if (m_failAt.count(m_transfers) != 0) {
        ++m_failed;
        m_lastTransfer += " failed";
        Log(line + " FAILED: EIO, as scripted");
        return -EIO;
    }
    return 0;
}

// The hidraw layer hands the device exactly what the caller passed: the length must
// be the device's feature report length and byte 0 its report ID.
bool EmulatedLoader::CheckTransfer(const std::uint8_t* report, std::size_t length)
{
    const std::string line = m_lastTransfer.substr(6);
    if (length != m_featureLength) {
        Log(line);
        Reject(Format("length %u, the feature report is %u bytes", static_cast<unsigned>(length),
                      static_cast<unsigned>(m_featureLength)));
        return false;
    }
    if (report[OFFSET_REPORT_ID] != REPORT_ID) {
        Log(line);
        Reject(Format("report ID %02x, the device has only report ID %02x", report[OFFSET_REPORT_ID], REPORT_ID));
        return false;
    }
    if (m_left) {
        Log(line);
        Reject("the loader has left ISP mode");
        return false;
    }
    return true;
}

long EmulatedLoader::BeginTransfer(bool set, const std::uint8_t* report, std::size_t length, std::string& head)
{
    const std::string kind = set ? "SET" : "GET";
    if (m_unplugged) {
        ++m_afterUnplug;
        Log(kind + " feature after the unplug: ENODEV");
        return -ENODEV;
    }
    ++m_transfers;
    head = kind + Format(" len=%u", static_cast<unsigned>(length));
    if (length > OFFSET_REPORT_ID)
        head += Format(" id=%02x", report[OFFSET_REPORT_ID]);
    // A get's buffer holds only what the caller left there: its command means nothing.
    if (set && length > OFFSET_COMMAND)
        head += Format(" cmd=%02x", report[OFFSET_COMMAND]);
    m_lastTransfer = Format("#%04u ", m_transfers) + head;
    return Scripted(head);
}

long EmulatedLoader::SetFeature(const std::uint8_t* report, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    std::string head;
    if (const long refused = BeginTransfer(true, report, length, head))
        return refused;
    m_setReports.emplace_back(report, report + length);
    if (!CheckTransfer(report, length))
        return -EPIPE;
    const long done = static_cast<long>(length) - m_shortBy;
    switch (report[OFFSET_COMMAND]) {
    case CMD_ERASE:
        ++m_erases;
        Log(head + " erase");
        m_flash.assign(FLASH_SIZE, ERASED);
        ApplyCorruption();
        m_pendingRead.reset();
        m_lastTransfer += " erase";
        return done;
    case CMD_WRITE: {
        const std::size_t address = AddressOf(report);
        Log(head + Format(" write addr=0x%04x b4=%02x", static_cast<unsigned>(address), report[OFFSET_DATA_LENGTH]) +
            " data=" + Hex(report + OFFSET_DATA, BLOCK_SIZE));
        m_lastTransfer += Format(" write addr=0x%04x", static_cast<unsigned>(address));
        if (address % BLOCK_SIZE != 0 || address + BLOCK_SIZE > FLASH_SIZE) {
            Reject(Format("write address 0x%04x is not the start of a block", static_cast<unsigned>(address)));
            return -EPIPE;
        }
        ++m_writes;
        m_writeOrder.Add(static_cast<unsigned>(address / BLOCK_SIZE), m_transfers);
        std::memcpy(m_flash.data() + address, report + OFFSET_DATA, BLOCK_SIZE);
        if (m_corruptAddress && *m_corruptAddress >= address && *m_corruptAddress < address + BLOCK_SIZE)
            m_flash[*m_corruptAddress] ^= CORRUPT_BIT;
        m_pendingRead.reset();
        return done;
    }
    case CMD_READ: {
        const std::size_t address = AddressOf(report);
        Log(head + Format(" read-request addr=0x%04x", static_cast<unsigned>(address)));
        m_lastTransfer += Format(" read-request addr=0x%04x", static_cast<unsigned>(address));
        if (address % BLOCK_SIZE != 0 || address + BLOCK_SIZE > FLASH_SIZE) {
            Reject(Format("read address 0x%04x is not the start of a block", static_cast<unsigned>(address)));
            return -EPIPE;
        }
        ++m_readRequests;
        m_readOrder.Add(static_cast<unsigned>(address / BLOCK_SIZE), m_transfers);
        m_pendingRead = address;
        return done;
    }
    case CMD_LEAVE:
        ++m_leaves;
        Log(head + " leave-isp");
        m_lastTransfer += " leave-isp";
        m_left = true;
        return done;
    default:
        Log(head);
        Reject(Format("unknown command %02x", report[OFFSET_COMMAND]));
        return -EPIPE;
    }
}

long EmulatedLoader::GetFeature(std::uint8_t* report, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    std::string head;
    if (const long refused = BeginTransfer(false, report, length, head))
        return refused;
    if (!CheckTransfer(report, length))
        return -EPIPE;
    if (!m_pendingRead) {
        Log(head);
        Reject("no read request before this report");
        return -EPIPE;
    }
    const std::size_t address = *m_pendingRead;
    m_pendingRead.reset();
    std::memset(report, 0, length);
    report[OFFSET_REPORT_ID] = REPORT_ID;
    report[OFFSET_COMMAND] = CMD_READ;
    report[OFFSET_ADDRESS_HIGH] = static_cast<std::uint8_t>(address >> 8);
    report[OFFSET_ADDRESS_LOW] = static_cast<std::uint8_t>(address & 0xFF);
    report[OFFSET_DATA_LENGTH] = static_cast<std::uint8_t>(BLOCK_SIZE);
    std::memcpy(report + OFFSET_DATA, m_flash.data() + address, BLOCK_SIZE);
    ++m_readReplies;
    Log(head + Format(" read-reply addr=0x%04x", static_cast<unsigned>(address)) +
        " data=" + Hex(report + OFFSET_DATA, BLOCK_SIZE));
    m_lastTransfer += Format(" read-reply addr=0x%04x", static_cast<unsigned>(address));
    return static_cast<long>(length) - m_shortBy;
}

std::string EmulatedLoader::Summary() const
{
    std::lock_guard lock(m_mutex);
    const unsigned sum = std::accumulate(m_flash.begin(), m_flash.end(), 0u);
    std::string text;
    text += "loader: " + m_port + "\n";
    text += Format("feature-length: %u\n", static_cast<unsigned>(m_featureLength));
    text += Format("transfers: %u\n", m_transfers);
    text += Format("rejected: %u\n", m_rejected);
    text += Format("violations: %u\n", m_violations);
    text += Format("failed: %u\n", m_failed);
    text += std::string("unplugged: ") + (m_unplugged ? "yes" : "no") + "\n";
    text += Format("after-unplug: %u\n", m_afterUnplug);
    text += Format("erase: %u\n", m_erases);
    text += Format("write: %u\n", m_writes);
    text += Format("read-request: %u\n", m_readRequests);
    text += Format("read-reply: %u\n", m_readReplies);
    text += Format("leave-isp: %u\n", m_leaves);
    text += "write-order: " + m_writeOrder.Text() + "\n";
    text += "read-order: " + m_readOrder.Text() + "\n";
    text += "last-transfer: " + m_lastTransfer + "\n";
    text += Format("flash-checksum: %04X\n", sum & 0xFFFF);
    return text;
}

}  // namespace zelv4
