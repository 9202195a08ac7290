#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zelv4 {

// One loader of an emulated machine: where it sits, what it holds, and what it does wrong.
struct LoaderOptions {
    // The USB port path, as the kernel names the device: bus-port.port... ("1-2.3").
    std::string port = "1-1";
    // Report ID byte plus the feature report.
    std::size_t featureLength = 41;
    // The hidraw node's number; by default the lowest free one, as the kernel picks it.
    std::optional<unsigned> hidraw{};
    // Initial flash; empty: erased. Shorter content is padded with erased bytes.
    std::vector<std::uint8_t> flash{};
    // A byte whose cell keeps bit 0 flipped from what is programmed.
    std::optional<std::size_t> corruptAddress{};
    // Transfers (counted from 1, sets and gets alike) that fail with EIO and are not carried out.
    std::set<unsigned> failAt{};
    // The loader is unplugged at this transfer: it and every later ioctl fail with ENODEV.
    std::optional<unsigned> unplugAt{};
    // ... and then its nodes leave /dev and sysfs, with "remove" uevents.
    bool removeAtUnplug = false;
    // Every feature transfer reports this many bytes fewer than it moved.
    unsigned shortBy = 0;
    // HIDIOCGRDESC fails with EIO.
    bool descriptorFails = false;
    // Its own transfer log; empty: the machine's.
    std::string logPath{};
};

// The ZEL-V4 ISP loader as the emulated hidraw node sees it: a 20480-byte flash
// behind four feature-report requests. Written from the loader's side on purpose
// (its own constants, no project code), so that it is an independent witness of
// what the host sends. Every transfer is checked strictly and logged.
class EmulatedLoader {
public:
    static constexpr std::size_t FLASH_SIZE = 20480;
    static constexpr std::size_t BLOCK_SIZE = 32;
    static constexpr std::size_t BLOCK_COUNT = FLASH_SIZE / BLOCK_SIZE;
    // Report ID byte plus the 40-byte feature report of the real loader.
    static constexpr std::size_t DEFAULT_FEATURE_LENGTH = 41;
    static constexpr std::size_t MAX_FEATURE_LENGTH = 4096;

    static constexpr std::uint8_t CMD_ERASE = 0xA7;
    static constexpr std::uint8_t CMD_WRITE = 0xA8;
    static constexpr std::uint8_t CMD_LEAVE = 0xA9;
    static constexpr std::uint8_t CMD_READ = 0xAA;

    // `log` may be null; lines start with the loader's port.
    EmulatedLoader(const LoaderOptions& options, std::FILE* log);

    const std::string& Port() const { return m_port; }
    std::size_t FeatureLength() const { return m_featureLength; }

    void SetCorruptAddress(std::size_t address);
    void LoadFlash(const std::vector<std::uint8_t>& flash);
    std::vector<std::uint8_t> Flash() const;

    // The hidraw feature ioctls: the number of bytes transferred, or -errno.
    long SetFeature(const std::uint8_t* report, std::size_t length);
    long GetFeature(std::uint8_t* report, std::size_t length);

    // Unplugged, by its script or by the machine: every ioctl fails with ENODEV.
    void Unplug();
    bool Unplugged() const;
    // Another ioctl on the unplugged loader's node: logged and counted, -ENODEV.
    long RefuseUnplugged(const std::string& what);

    unsigned Transfers() const;
    // Every report set while plugged, as received.
    std::vector<std::vector<std::uint8_t>> SetReports() const;

    // Its report descriptor: vendor page, 8-byte input and output reports, and a
    // feature report of featureLength - 1 bytes (no report IDs).
    static std::vector<std::uint8_t> ReportDescriptor(std::size_t featureLength);

    // Key: value lines, for people and for scripts.
    std::string Summary() const;
    unsigned Violations() const;

private:
    struct BlockOrder {
        unsigned count = 0;
        std::optional<unsigned> first;
        std::optional<unsigned> last;
        bool inOrder = true;
        std::string firstBreak;
        void Add(unsigned block, unsigned transfer);
        std::string Text() const;
    };

    // The scripted outcome of the transfer just counted, or 0 to carry it out.
    // Counts a transfer and names it in `head` for the log; non-zero: its error
    // (unplugged, or a scripted failure).
    long BeginTransfer(bool set, const std::uint8_t* report, std::size_t length, std::string& head);
    long Scripted(const std::string& line);
    bool CheckTransfer(const std::uint8_t* report, std::size_t length);
    void Reject(const std::string& why);
    void Log(const std::string& line);
    void ApplyCorruption();
    static std::string Hex(const std::uint8_t* bytes, std::size_t count);

    mutable std::mutex m_mutex;
    std::string m_port;
    std::size_t m_featureLength;
    std::FILE* m_log;
    std::vector<std::uint8_t> m_flash;
    std::optional<std::size_t> m_corruptAddress;
    std::set<unsigned> m_failAt;
    std::optional<unsigned> m_unplugAt;
    unsigned m_shortBy;
    std::optional<std::size_t> m_pendingRead;
    bool m_left = false;
    bool m_unplugged = false;

    unsigned m_transfers = 0;
    unsigned m_rejected = 0;
    unsigned m_failed = 0;
    unsigned m_afterUnplug = 0;
    unsigned m_erases = 0;
    unsigned m_writes = 0;
    unsigned m_readRequests = 0;
    unsigned m_readReplies = 0;
    unsigned m_leaves = 0;
    unsigned m_violations = 0;
    BlockOrder m_writeOrder;
    BlockOrder m_readOrder;
    std::string m_lastTransfer = "none";
    std::vector<std::vector<std::uint8_t>> m_setReports;
};

}  // namespace zelv4
