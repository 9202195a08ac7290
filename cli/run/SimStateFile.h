#pragma once

#include <memory>
#include <string>

#include "core/Expected.h"
#include "core/FirmwareImage.h"
#include "sys/FileLock.h"

namespace zelv4 {

// The simulated chip's flash kept in a file between runs (--sim=STATE): exactly the
// 20480 flash bytes in address order, nothing else, so a dump or an image file is
// a valid state too.
class SimStateFile {
public:
    explicit SimStateFile(std::string path);

    const std::string& Path() const { return m_path; }

    // Takes the file for this run, so that two runs on one state cannot lose each
    // other's changes: an exclusive lock, held until the object goes, on the file
    // (created whole and erased when missing, as a dump is: never empty). Fails as
    // Busy when another run holds it, as FileFailed when the file is not a regular
    // file or cannot be made or opened.
    Expected<void> Lock();

    // The flash kept in the file; fails when it cannot be read or is not exactly
    // 20480 bytes.
    Expected<FirmwareImage> Load() const;

    // Replaces the file with `flash` atomically: a crash leaves the old or the new
    // state, never half of one.
    Expected<void> Save(const FirmwareImage& flash) const;

private:
    Expected<void> CreateErased() const;

    std::string m_path;
    std::unique_ptr<FileLock> m_lock;
};

}  // namespace zelv4
