#pragma once

#include <string>
#include <vector>

#include "core/Error.h"
#include "core/OperationResult.h"

namespace zelv4 {

// Exit codes of zelv4-isp, the one table scripts rely on; a failure never exits 0.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_TRANSFER_FAILED = 1;    // the device failed a transfer
inline constexpr int EXIT_USAGE = 2;              // the command line is wrong
inline constexpr int EXIT_FILE = 3;               // firmware refused, dump or output not writable,
                                                  // --sim state file unusable
inline constexpr int EXIT_NO_DEVICE = 4;          // no device, or the wait timed out
inline constexpr int EXIT_VERIFY_DIFFERENCE = 5;  // verify found a difference
inline constexpr int EXIT_PERMISSION_DENIED = 6;  // the device is there but cannot be opened
inline constexpr int EXIT_DEVICE_BUSY = 7;        // another program is using the device or state file
inline constexpr int EXIT_INTERRUPTED = 130;      // Ctrl-C: 128 + the signal's number (143 for SIGTERM)

int ExitCodeFor(const OperationResult& result);
// The same for a run that a stop request may have ended: then `interrupted`, 128 +
// the signal's number.
int ExitCodeFor(const OperationResult& result, int interrupted);

// The exit code of a failure of this kind: a file that cannot be read or written
// is 3, a device or file another program holds 7, ...
int ExitCodeFor(ErrorCode code);

// The name --json gives an operation's outcome ("verify-mismatch", "permission-denied").
const char* OutcomeName(const OperationResult& result);

// A short name for what an exit code means, as --json reports the outcome when no
// more precise one is known ("succeeded", "transfer-failed", ...).
const char* ExitCodeName(int code);

// The most serious of several devices' exit codes, as --all and watch end: a chip
// known to be wrong (5), then one in an unknown state (1), then what left chips
// untouched: a file (3), permission (6), a busy device (7), no device (4); 0 when
// every code is 0 or there is none.
int MostSeriousExitCode(const std::vector<int>& codes);

// The table as --help (and so the man page) shows it.
std::string ExitCodeHelp();

}  // namespace zelv4
