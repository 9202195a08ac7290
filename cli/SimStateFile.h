#pragma once

#include <optional>
#include <string>

#include "core/FirmwareImage.h"

namespace zelv4 {

// The simulated chip's flash kept in a file between runs (--sim=STATE): exactly the
// 20480 flash bytes in address order, nothing else, so a dump or an image file is
// a valid state too.
class SimStateFile {
public:
    explicit SimStateFile(std::string path);

    const std::string& Path() const { return m_path; }

    // The flash kept in the file: erased (0xFF) when the file does not exist; none,
    // with the reason in `error`, when it cannot be read or is not exactly 20480 bytes.
    std::optional<FirmwareImage> Load(std::string& error) const;

    // Replaces the file with `flash` atomically: a temporary file next to it is
    // written, synced and renamed over it, so a crash leaves the old or the new
    // state, never half of one.
    bool Save(const FirmwareImage& flash, std::string& error) const;

private:
    std::string m_path;
};

}  // namespace zelv4
