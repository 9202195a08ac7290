#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zelv4 {

// A file an operation writes (Read's dump). It takes the place of its target only
// when Commit() succeeds; destroyed without a commit, it leaves the target exactly
// as it was, so a failed or interrupted run never truncates or half-writes it.
class OutputFile {
public:
    virtual ~OutputFile() = default;

    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    // Flushes, syncs and puts the file in place of its target.
    virtual bool Commit() = 0;
    // Why the last Write or Commit failed, as the system says it.
    virtual const std::string& Error() const = 0;
};

// Where the operations create their output files; each front end passes the
// system's, tests may pass their own.
class OutputFileSystem {
public:
    virtual ~OutputFileSystem() = default;
    // Null on failure, with the system's reason in `error`.
    virtual std::unique_ptr<OutputFile> Create(const std::string& path, std::string& error) = 0;
};

}  // namespace zelv4
