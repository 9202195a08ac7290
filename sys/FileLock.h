#pragma once

#include <memory>
#include <string>

#include "core/Expected.h"

namespace zelv4 {

// An exclusive advisory lock on a file, taken without waiting and held while the
// object lives. Programs that honour it never work on the same file at once.
class FileLock {
public:
    // Locks the existing file `path`. Fails as Busy when another program holds the
    // lock, and as FileFailed, saying why, when the file cannot be opened or locked.
    static Expected<std::unique_ptr<FileLock>> TryLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    struct State;

private:
    explicit FileLock(std::unique_ptr<State> state);

    std::unique_ptr<State> m_state;
};

}  // namespace zelv4
