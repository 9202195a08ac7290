#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/ByteSource.h"

namespace zelv4 {

// Bytes from memory. The memory must outlive the source.
class SpanByteSource : public ByteSource {
public:
    explicit SpanByteSource(std::span<const std::uint8_t> bytes);
    explicit SpanByteSource(std::string_view text);

    int Next() override;
    std::size_t Consumed() const { return m_position; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};

}  // namespace zelv4
