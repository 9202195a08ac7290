#include "sys/StandardOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zelv4 {

bool StandardOutput::WriteAll(const char* data, std::size_t size, std::string& error)
{
    while (size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace zelv4
