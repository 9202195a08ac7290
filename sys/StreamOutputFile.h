#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/OutputFile.h"

namespace zelv4 {

// An output that cannot be replaced, only written to: standard output ("-"), a
// descriptor named as such (/dev/stdout, /dev/fd/N, /proc/self/fd/N), a character
// device or a FIFO. The bytes go straight there, with no temporary file and no
// truncation, so `read /dev/stdout >> a.bin` appends. What was written stays when
// the run fails; the failure is still reported.
class StreamOutputFile : public OutputFile {
public:
    // Whether `path` names such an output; a regular file, a missing one or a
    // directory is not one.
    static bool Names(const std::string& path);
    // Fails with the system's reason and the path quoted.
    static Expected<std::unique_ptr<StreamOutputFile>> Open(const std::string& path);
    ~StreamOutputFile() override;
    StreamOutputFile(const StreamOutputFile&) = delete;
    StreamOutputFile& operator=(const StreamOutputFile&) = delete;

    Expected<void> Write(std::span<const std::uint8_t> bytes) override;
    // Closes the stream (the process's own standard stream stays open).
    Expected<void> Commit() override;

    struct State;

private:
    explicit StreamOutputFile(std::unique_ptr<State> state);

    std::unique_ptr<State> m_state;
};

// The descriptor a path names as such: 1 for "-" and /dev/stdout, N for /dev/fd/N
// and /proc/self/fd/N; none for any other path, also one that leads to the same
// file. On Windows only "-" (standard output) is one.
std::optional<int> NamedDescriptor(const std::string& path);

// Whether two paths name one existing file, compared by identity (device and inode;
// on Windows volume and file index), not by spelling: through links, other
// spellings and descriptor names alike.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace zelv4
