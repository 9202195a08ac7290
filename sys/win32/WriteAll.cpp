#include "sys/win32/WriteAll.h"

#include <cstdint>

namespace zelv4 {

bool WriteAll(HANDLE handle, const void* data, std::size_t size, DWORD& error)
{
    // One call writes at most this much.
    constexpr std::size_t CHUNK_MAX = 0x40000000;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(size > CHUNK_MAX ? CHUNK_MAX : size);
        DWORD written = 0;
        if (handle == INVALID_HANDLE_VALUE || !::WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) {
            error = handle == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : ::GetLastError();
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

}  // namespace zelv4
