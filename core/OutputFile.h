#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/Expected.h"

namespace zelv4 {

// A file an operation writes (Read's dump). It takes the place of its target only
// when Commit() succeeds; destroyed without a commit, it leaves the target exactly
// as it was, so a failed or interrupted run never truncates or half-writes it.
class OutputFile {
public:
    virtual ~OutputFile() = default;

    // Each fails with the system's reason, the path quoted.
    virtual Expected<void> Write(std::span<const std::uint8_t> bytes) = 0;
    // Flushes, syncs and puts the file in place of its target.
    virtual Expected<void> Commit() = 0;
};

// Where the operations create their output files; each front end passes the
// system's, tests may pass their own.
class OutputFileSystem {
public:
    virtual ~OutputFileSystem() = default;
    // Fails with the system's reason, the path quoted.
    virtual Expected<std::unique_ptr<OutputFile>> Create(const std::string& path) = 0;
};

}  // namespace zelv4
