#include "core/FileByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Utf8Path.h"

namespace zelv4 {

FileByteSource::~FileByteSource()
{
    Close();
}

bool FileByteSource::Open(const std::string& path, const char* mode, std::size_t maxBytes)
{
    Close();
    m_error.clear();
    m_ended = false;
    m_hitLimit = false;
    m_chunkLength = m_chunkPosition = 0;
    m_remaining = maxBytes;
    m_file = OpenFile(path, mode);
    if (m_file == nullptr) {
        m_error = errno != 0 ? std::strerror(errno) : "cannot open";
        return false;
    }
    return true;
}

void FileByteSource::Close()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

std::size_t FileByteSource::Read(std::uint8_t* buffer, std::size_t capacity)
{
    // Drain what Next() buffered first.
    const std::size_t buffered = std::min(capacity, m_chunkLength - m_chunkPosition);
    std::copy_n(m_chunk.data() + m_chunkPosition, buffered, buffer);
    m_chunkPosition += buffered;
    if (m_file == nullptr || m_ended)
        return buffered;

    const std::size_t wanted = std::min(capacity - buffered, m_remaining);
    errno = 0;
    const std::size_t got = std::fread(buffer + buffered, 1, wanted, m_file);
    m_remaining -= got;
    if (got < wanted) {
        m_ended = true;
        if (std::ferror(m_file))
            m_error = errno != 0 ? std::strerror(errno) : "read error";
    }
    return buffered + got;
}

bool FileByteSource::Refill()
{
    m_chunkPosition = m_chunkLength = 0;
    if (m_file == nullptr || m_ended)
        return false;
    if (m_remaining == 0) {
        // Only a cap reached with input still to come counts as hitting it.
        m_ended = true;
        m_hitLimit = std::fgetc(m_file) != EOF;
        return false;
    }
    const std::size_t wanted = std::min(CHUNK_SIZE, m_remaining);
    errno = 0;
    const std::size_t got = std::fread(m_chunk.data(), 1, wanted, m_file);
    m_remaining -= got;
    m_chunkLength = got;
    if (got < wanted) {
        m_ended = true;
        if (std::ferror(m_file))
            m_error = errno != 0 ? std::strerror(errno) : "read error";
    }
    return got > 0;
}

int FileByteSource::Next()
{
    if (m_chunkPosition == m_chunkLength && !Refill())
        return END;
    return m_chunk[m_chunkPosition++];
}

}  // namespace zelv4
