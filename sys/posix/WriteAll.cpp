#include "sys/posix/WriteAll.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace zelv4 {

bool WriteAll(int fd, const void* data, std::size_t size, int& error)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace zelv4
