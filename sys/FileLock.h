#pragma once

#include <memory>
#include <string>

namespace zelv4 {

// An exclusive advisory lock on a file, taken without waiting and held while the
// object lives. Programs that honour it never work on the same file at once.
class FileLock {
public:
    enum class Result { Locked, Busy, Failed };

    // Locks `path`, creating it empty when `create` is set and it does not exist
    // (Created() then tells). Busy: another program holds the lock. Failed: the
    // file cannot be opened or locked; `error` says why.
    static std::unique_ptr<FileLock> TryLock(const std::string& path, bool create, Result& result, std::string& error);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Whether TryLock created the file. A created file that is still empty when
    // the lock is released is removed again, so a failed run leaves nothing behind.
    bool Created() const { return m_created; }

    struct State;

private:
    FileLock(std::unique_ptr<State> state, bool created);

    std::unique_ptr<State> m_state;
    bool m_created = false;
};

}  // namespace zelv4
