#include "sys/StandardOutput.h"

namespace zelv4 {

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
    const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    // After a failure nothing more is written: the output is lost already.
    if (size > 0 && m_error.empty())
        if (const Expected<void> written = WriteAll(data, size); !written)
            m_error = written.error().message;
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
