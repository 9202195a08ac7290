#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zelv4 {

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

    // `featureLength` counts the report ID byte; `log` may be null.
    EmulatedLoader(std::size_t featureLength, std::FILE* log);

    // A byte whose cell does not take what is programmed: it keeps one bit flipped.
    void SetCorruptAddress(std::size_t address);
    void LoadFlash(const std::vector<std::uint8_t>& flash);
    std::vector<std::uint8_t> Flash() const;

    // The hidraw feature ioctls: the number of bytes transferred, or -errno.
    long SetFeature(const std::uint8_t* report, std::size_t length);
    long GetFeature(std::uint8_t* report, std::size_t length);

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

    bool CheckTransfer(const char* direction, const std::uint8_t* report, std::size_t length);
    void Reject(const std::string& why);
    void Log(const std::string& line);
    static std::string Hex(const std::uint8_t* bytes, std::size_t count);

    mutable std::mutex m_mutex;
    std::size_t m_featureLength;
    std::FILE* m_log;
    std::vector<std::uint8_t> m_flash;
    std::optional<std::size_t> m_corruptAddress;
    std::optional<std::size_t> m_pendingRead;
    bool m_left = false;

    unsigned m_transfers = 0;
    unsigned m_rejected = 0;
    unsigned m_erases = 0;
    unsigned m_writes = 0;
    unsigned m_readRequests = 0;
    unsigned m_readReplies = 0;
    unsigned m_leaves = 0;
    unsigned m_violations = 0;
    BlockOrder m_writeOrder;
    BlockOrder m_readOrder;
    std::string m_lastTransfer = "none";
};

}  // namespace zelv4
