#include "sys/ReplacingFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/QuotedPath.h"
#include "sys/SignalOwner.h"
#include "sys/posix/WriteAll.h"

namespace zelv4 {

namespace {

// Symbolic links followed to the file a dump replaces; more is a loop.
constexpr int MAX_LINK_HOPS = 40;
// Temporary files that a signal may have to remove, one per file being written.
constexpr std::size_t MAX_PENDING_FILES = 64;
constexpr std::size_t PENDING_PATH_SIZE = 4096;
// A temporary name keeps this much of the target's name, so it stays within NAME_MAX.
constexpr std::size_t TEMP_NAME_KEEP = 200;

std::string Reason(int code)
{
    return std::strerror(code);
}

// Temporary files still to be renamed or removed. A signal handler removes them,
// so the table is plain memory with atomic states: free, being made, made. Zero
// from the start (constinit): code that cleared it at start-up would touch its
// 64 pages in every run, most of which never makes a file.
struct PendingSlot {
    std::atomic<int> state{0};
    char path[PENDING_PATH_SIZE] = {};
};
constinit std::array<PendingSlot, MAX_PENDING_FILES> s_pending{};
constexpr int SLOT_FREE = 0;
constexpr int SLOT_WRITING = 1;
constexpr int SLOT_SET = 2;

// Run by the signal owner before a signal ends the process.
void RemovePending()
{
    for (PendingSlot& slot : s_pending) {
        // Another thread is making this file, with all signals blocked, so the
        // handler never waits for its own thread: it is done in a moment.
        int state = SLOT_WRITING;
        while ((state = slot.state.load(std::memory_order_acquire)) == SLOT_WRITING) {
        }
        if (state == SLOT_SET)
            ::unlink(slot.path);
    }
}

// Makes a temporary file from `pattern` (ending in XXXXXX) right in a slot of the
// table, so that no moment exists when the file is there and the cleanup does not
// know it. Call with signals blocked. Returns the descriptor, or -1
// with errno set.
int CreatePending(const std::string& pattern, int& slot, std::string& made)
{
    slot = -1;
    if (pattern.size() >= PENDING_PATH_SIZE) {
        errno = ENAMETOOLONG;
        return -1;
    }
    for (std::size_t i = 0; i < s_pending.size(); ++i) {
        int expected = SLOT_FREE;
        if (!s_pending[i].state.compare_exchange_strong(expected, SLOT_WRITING, std::memory_order_acquire))
            continue;
        std::memcpy(s_pending[i].path, pattern.c_str(), pattern.size() + 1);
        const int fd = ::mkostemp(s_pending[i].path, O_CLOEXEC);
        const int code = errno;
        if (fd < 0) {
            s_pending[i].state.store(SLOT_FREE, std::memory_order_release);
            errno = code;
            return -1;
        }
        made = s_pending[i].path;
        s_pending[i].state.store(SLOT_SET, std::memory_order_release);
        slot = static_cast<int>(i);
        return fd;
    }
    errno = EMFILE;
    return -1;
}

void UnregisterPending(int slot)
{
    if (slot >= 0)
        s_pending[static_cast<std::size_t>(slot)].state.store(SLOT_FREE, std::memory_order_release);
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names once its symbolic links are followed; it need not exist.
bool FollowLinks(std::string path, std::string& target, int& error)
{
    for (int hop = 0; hop <= MAX_LINK_HOPS; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            target = path;
            return true;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length < 0) {
            error = errno;
            return false;
        }
        link.resize(static_cast<std::size_t>(length));
        path = link.starts_with('/') ? link : DirectoryOf(path) + "/" + link;
    }
    error = ELOOP;
    return false;
}

// The mode a new file gets: what the process's umask leaves of 0666. Read from
// /proc, since umask() itself would change it for every thread for a moment.
mode_t NewFileMode()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(0666 & ~mask);
    }
    return 0644;
}

}  // namespace

struct ReplacingFile::State {
    std::string path;    // as the caller named it, for messages
    std::string target;  // the file replaced
    std::string temporary;
    int fd = -1;
    int pendingSlot = -1;
    bool committed = false;
};

ReplacingFile::ReplacingFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}

ReplacingFile::~ReplacingFile()
{
    if (m_state->fd >= 0)
        ::close(m_state->fd);
    if (!m_state->committed && !m_state->temporary.empty())
        ::unlink(m_state->temporary.c_str());
    UnregisterPending(m_state->pendingSlot);
}

const std::string& ReplacingFile::TargetPath() const
{
    return m_state->target;
}

Expected<std::unique_ptr<ReplacingFile>> ReplacingFile::Create(const std::string& path)
{
    auto state = std::make_unique<State>();
    state->path = path;
    int code = 0;
    if (path.empty()) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Reason(ENOENT));
    }
    if (!FollowLinks(path, state->target, code)) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Reason(code));
    }

    struct stat existing {};
    const bool exists = ::stat(state->target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Reason(EISDIR));
    }
    // A device, a pipe or a terminal cannot be replaced, only written to: that is a
    // StreamOutputFile's job.
    if (exists && !S_ISREG(existing.st_mode)) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": it is not a regular file");
    }

    // Replacing a file is no reason to ignore that it may not be written, as
    // opening it would have said.
    if (exists && ::faccessat(AT_FDCWD, state->target.c_str(), W_OK, AT_EACCESS) != 0) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Reason(errno));
    }

    std::string name = BaseOf(state->target).substr(0, TEMP_NAME_KEEP);
    const std::string pattern = DirectoryOf(state->target) + "/." + name + ".XXXXXX";
    // A signal on this thread between making the temporary file and noting it for
    // the clean-up would leave it behind: signals wait until it is noted.
    SignalOwner::AddCleanup(RemovePending);
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    int slot = -1;
    std::string temporary;
    const int fd = CreatePending(pattern, slot, temporary);
    code = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Reason(code));
    }
    state->fd = fd;
    state->temporary = temporary;
    state->pendingSlot = slot;
    // mkostemp makes the file private; the dump gets the mode of the file it
    // replaces, or the one a new file would get.
    const mode_t mode = exists ? (existing.st_mode & 07777) : NewFileMode();
    if (::fchmod(fd, mode) != 0) {
        code = errno;
        ReplacingFile discarded(std::move(state));
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Reason(code));
    }
    return std::unique_ptr<ReplacingFile>(new ReplacingFile(std::move(state)));
}

Expected<void> ReplacingFile::Write(std::span<const std::uint8_t> bytes)
{
    int code = 0;
    if (m_state->fd < 0 || m_state->committed) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Reason(EBADF));
    }
    if (!WriteAll(m_state->fd, bytes.data(), bytes.size(), code)) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Reason(code));
    }
    return {};
}

Expected<void> ReplacingFile::Finish(bool replace)
{
    if (m_state->fd < 0 || m_state->committed) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Reason(EBADF));
    }
    const int fd = std::exchange(m_state->fd, -1);
    // The data must be on the disk before the name points at it, or a crash could
    // leave an empty file where the old one was.
    if (::fsync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Reason(code));
    }
    if (::close(fd) != 0) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Reason(errno));
    }
    // A link fails where a file is, as a rename would not; the temporary name then goes.
    const bool placed = replace ? ::rename(m_state->temporary.c_str(), m_state->target.c_str()) == 0
                                : ::link(m_state->temporary.c_str(), m_state->target.c_str()) == 0;
    if (!placed) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Reason(errno));
    }
    if (!replace)
        ::unlink(m_state->temporary.c_str());
    m_state->committed = true;
    UnregisterPending(std::exchange(m_state->pendingSlot, -1));
    // The rename itself reaches the disk with the directory.
    const int directory = ::open(DirectoryOf(m_state->target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return {};
}

}  // namespace zelv4
