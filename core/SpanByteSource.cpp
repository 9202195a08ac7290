#include "core/SpanByteSource.h"

namespace zelv4 {

SpanByteSource::SpanByteSource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

SpanByteSource::SpanByteSource(std::string_view text)
    : m_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())
{}

int SpanByteSource::Next()
{
    if (m_position >= m_bytes.size())
        return END;
    return m_bytes[m_position++];
}

}  // namespace zelv4
