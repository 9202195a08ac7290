#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cli/run/DeviceOperation.h"
#include "core/OperationResult.h"

namespace zelv4 {

class ChipHooks;
class DevicePlatform;
class Interruption;
struct FoundIspDevice;

// One operation on one chip, as it ended.
struct ChipRun {
    std::string path;
    std::string port;  // empty: the platform cannot tell
    OperationResult result;
    std::string err;  // the lines a single run would print on stderr, explanations included
    double seconds = 0;
    int exitCode = 0;
    std::string outcome;                  // as --json names it
    std::string message;                  // the one its result line shows
    std::optional<std::uint64_t> serial;  // the number it was given, when the run writes serials
    // Its record could not be kept: a station starts no new chip.
    bool recordFailed = false;
};

// How a worker runs its chip.
struct ChipRunSettings {
    // Ctrl-C: no more requests once `stopAt` signals came, and the chip then ends
    // with 128 + the signal's number; null: nothing stops it.
    const Interruption* interruption = nullptr;
    unsigned stopAt = 1;
    // Auto's waits also end once this says so; null: only a stop does.
    std::function<bool()> waitCutShort;
    ChipHooks* hooks = nullptr;  // may be null
};

// Runs `request` on the chip at `path` (on `port`), on the calling thread; any number
// at once, as long as the platform allows it. `found` is the chip as a listing left
// it open a moment ago: it is taken instead of searching again.
ChipRun RunOnChip(DevicePlatform& platform, const OperationRequest& request, const std::string& path,
                  const std::string& port, const ChipRunSettings& settings,
                  std::optional<FoundIspDevice> found = std::nullopt);

}  // namespace zelv4
