#include "sys/StandardOutput.h"

#include <io.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace zelv4 {

// Through the C library's descriptor: in text mode it ends lines as Windows text
// does (CR LF), like every other line the program prints.
StandardOutput::StandardOutput()
{
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

StandardOutput::~StandardOutput()
{
    Drain();
}

bool StandardOutput::Drain()
{
    const char* data = pbase();
    std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    const int fd = _fileno(stdout);
    while (size > 0 && m_error.empty()) {
        const unsigned chunk = size > INT_MAX / 2 ? INT_MAX / 2 : static_cast<unsigned>(size);
        const int written = _write(fd, data, chunk);
        if (written <= 0) {
            m_error = std::strerror(written < 0 ? errno : ENOSPC);
            break;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return m_error.empty();
}

StandardOutput::int_type StandardOutput::overflow(int_type c)
{
    if (!Drain())
        return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int StandardOutput::sync()
{
    return Drain() ? 0 : -1;
}

}  // namespace zelv4
