#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/ByteSource.h"

namespace zelv4 {

// A file read in chunks, with a cap on how much of it is ever read, so that an
// endless input (a device node, a pipe) cannot keep a reader busy forever.
class FileByteSource : public ByteSource {
public:
    FileByteSource() = default;
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // mode is "r" or "rb". On failure Error() says why.
    bool Open(const std::string& path, const char* mode, std::size_t maxBytes);
    void Close();

    int Next() override;

    // Reads up to `capacity` bytes (less at the end of the file or of the cap).
    // Reaching the cap here is not reported: callers that read a fixed prefix want that.
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity);

    bool ReadFailed() const { return !m_error.empty(); }
    bool HitLimit() const { return m_hitLimit; }
    const std::string& Error() const { return m_error; }

private:
    bool Refill();

    static constexpr std::size_t CHUNK_SIZE = 16 * 1024;

    std::FILE* m_file = nullptr;
    std::size_t m_remaining = 0;  // bytes the cap still allows
    std::array<std::uint8_t, CHUNK_SIZE> m_chunk{};
    std::size_t m_chunkLength = 0;
    std::size_t m_chunkPosition = 0;
    bool m_ended = false;
    bool m_hitLimit = false;
    std::string m_error;
};

}  // namespace zelv4
