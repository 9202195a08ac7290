#include "sys/StandardOutput.h"

#include <io.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace zelv4 {

// Through the C library's descriptor: in text mode it ends lines as Windows text
// does (CR LF), like every other line the program prints.
Expected<void> StandardOutput::WriteAll(const char* data, std::size_t size)
{
    const int fd = _fileno(stdout);
    while (size > 0) {
        const unsigned chunk = size > INT_MAX / 2 ? INT_MAX / 2 : static_cast<unsigned>(size);
        const int written = _write(fd, data, chunk);
        if (written <= 0)
            return Fail(ErrorCode::FileFailed, std::strerror(written < 0 ? errno : ENOSPC));
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

}  // namespace zelv4
