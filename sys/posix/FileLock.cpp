#include "sys/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/QuotedPath.h"

namespace zelv4 {

namespace {

// The file may be replaced by a rename while we wait for nothing; a few tries find
// the file that the name names now.
constexpr int LOCK_ATTEMPTS = 8;

}  // namespace

struct FileLock::State {
    std::string path;
    int fd = -1;
};

FileLock::FileLock(std::unique_ptr<State> state, bool created) : m_state(std::move(state)), m_created(created) {}

FileLock::~FileLock()
{
    if (m_created) {
        // Still the empty file this lock made: nothing was saved into it.
        struct stat held {};
        struct stat named {};
        if (::fstat(m_state->fd, &held) == 0 && held.st_size == 0 && ::stat(m_state->path.c_str(), &named) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlink(m_state->path.c_str());
    }
    ::close(m_state->fd);
}

std::unique_ptr<FileLock> FileLock::TryLock(const std::string& path, bool create, Result& result, std::string& error)
{
    result = Result::Failed;
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        bool created = false;
        int fd = -1;
        if (create) {
            fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            created = fd >= 0;
        }
        if (fd < 0 && (!create || errno == EEXIST))
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            error = "cannot open " + Quoted(path) + ": " + std::strerror(errno);
            return nullptr;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            // A file made here only to be locked must not outlive a lock that
            // could not be taken: an empty one would be refused by the next run.
            if (created && code != EWOULDBLOCK)
                ::unlink(path.c_str());
            ::close(fd);
            if (code == EWOULDBLOCK) {
                result = Result::Busy;
                error = Quoted(path) + " is in use by another program";
            } else {
                error = "cannot lock " + Quoted(path) + ": " + std::strerror(code);
            }
            return nullptr;
        }
        // Locked the file the name pointed at when it was opened; if a rename has
        // since put another file there, lock that one instead.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            auto state = std::make_unique<State>();
            state->path = path;
            state->fd = fd;
            result = Result::Locked;
            return std::unique_ptr<FileLock>(new FileLock(std::move(state), created));
        }
        ::close(fd);
    }
    error = "cannot lock " + Quoted(path) + ": it keeps being replaced";
    return nullptr;
}

}  // namespace zelv4
