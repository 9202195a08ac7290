#pragma once

#include <windows.h>

#include <cstddef>

namespace zelv4 {

// Writes all of `data` to `handle`, again after a short write; false with the
// system's error code in `error` when it refuses.
bool WriteAll(HANDLE handle, const void* data, std::size_t size, DWORD& error);

}  // namespace zelv4
