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
    int fd = -1;
};

FileLock::FileLock(std::unique_ptr<State> state) : m_state(std::move(state)) {}

FileLock::~FileLock()
{
    ::close(m_state->fd);
}

Expected<std::unique_ptr<FileLock>> FileLock::TryLock(const std::string& path)
{
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return Fail(ErrorCode::FileFailed, "cannot open " + Quoted(path) + ": " + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            ::close(fd);
            if (code == EWOULDBLOCK)
                return Fail(ErrorCode::Busy, Quoted(path) + " is in use by another program");
            return Fail(ErrorCode::FileFailed, "cannot lock " + Quoted(path) + ": " + std::strerror(code));
        }
        // Locked the file the name pointed at when it was opened; if a rename has
        // since put another file there, lock that one instead.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            auto state = std::make_unique<State>();
            state->fd = fd;
            return std::unique_ptr<FileLock>(new FileLock(std::move(state)));
        }
        ::close(fd);
    }
    return Fail(ErrorCode::FileFailed, "cannot lock " + Quoted(path) + ": it keeps being replaced");
}

}  // namespace zelv4
