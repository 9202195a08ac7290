#pragma once

#include <cstddef>

namespace zelv4 {

// Writes all of `data` to `fd`, again after a short write or an interruption;
// false with errno's value in `error` when the system refuses.
bool WriteAll(int fd, const void* data, std::size_t size, int& error);

}  // namespace zelv4
