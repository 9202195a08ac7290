#pragma once

#include "OperationResult.h"

namespace zelv4 {

// Exit codes of zelv4-isp; a failure never exits 0.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_TRANSFER_FAILED = 1;  // the device failed a transfer
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_FILE = 3;               // firmware not loadable, dump not creatable or writable
inline constexpr int EXIT_NO_DEVICE = 4;          // no device, or the wait timed out
inline constexpr int EXIT_VERIFY_DIFFERENCE = 5;
inline constexpr int EXIT_PERMISSION_DENIED = 6;  // the device is there but cannot be opened

int ExitCodeFor(const OperationResult& result);

}  // namespace zelv4
