#pragma once

#include <memory>
#include <string>

#include "core/Expected.h"
#include "core/ImageFile.h"

namespace zelv4 {

struct ChipRun;

// What a run does for each chip besides its operation, such as keeping a production
// record: before the operation, an image of the chip's own (a serial number patched
// in) or a refusal that leaves the chip untouched; after it, whatever its outcome, a
// failure that fails the chip (its record could not be kept). Called on the chip's
// own thread: several at once under --all and watch.
class ChipHooks {
public:
    virtual ~ChipHooks() = default;
    // `path` and `port` are empty for a single run's chip, which its search finds.
    virtual Expected<std::shared_ptr<const LoadedImageFile>>
    BeforeChip(const std::string& path, const std::string& port, std::shared_ptr<const LoadedImageFile> image) = 0;
    // May add what it gave the chip to `run` (its serial number).
    virtual Expected<void> AfterChip(ChipRun& run) = 0;
};

}  // namespace zelv4
