#include "sys/StreamOutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/QuotedPath.h"
#include "sys/posix/WriteAll.h"

namespace zelv4 {

namespace {

// Symbolic links followed to tell whether a path leads to a descriptor's name.
constexpr int MAX_LINK_HOPS = 40;

// "/dev/fd/N", "/proc/self/fd/N" or "/proc/<this process>/fd/N" spelled as such.
std::optional<int> DescriptorSpelled(const std::string& path)
{
    std::string rest;
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
        if (path.starts_with(prefix)) {
            rest = path.substr(prefix.size());
            break;
        }
    }
    if (rest.empty() || rest.size() > 9 || rest.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::atoi(rest.c_str());
}

// The path's own identity, a descriptor's for a descriptor name.
bool Identity(const std::string& path, struct stat& info)
{
    if (const std::optional<int> fd = NamedDescriptor(path))
        return ::fstat(*fd, &info) == 0;
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::optional<int> NamedDescriptor(const std::string& path)
{
    if (path == "-")
        return STDOUT_FILENO;
    // /dev/stdout is a link to /proc/self/fd/1: follow links as far as one leads to
    // a descriptor's name, and no further (that name is a link to the file itself).
    std::string hop = path;
    for (int i = 0; i <= MAX_LINK_HOPS; ++i) {
        if (const std::optional<int> fd = DescriptorSpelled(hop))
            return fd;
        char target[4096];
        const ssize_t length = ::readlink(hop.c_str(), target, sizeof target - 1);
        if (length <= 0)
            return std::nullopt;
        const std::string link(target, static_cast<std::size_t>(length));
        const auto slash = hop.rfind('/');
        hop = link.starts_with('/') || slash == std::string::npos ? link : hop.substr(0, slash + 1) + link;
    }
    return std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return Identity(a, first) && Identity(b, second) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

struct StreamOutputFile::State {
    std::string path;
    int fd = -1;
};

StreamOutputFile::StreamOutputFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}

StreamOutputFile::~StreamOutputFile()
{
    if (m_state->fd >= 0)
        ::close(m_state->fd);
}

bool StreamOutputFile::Names(const std::string& path)
{
    if (NamedDescriptor(path))
        return true;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

Expected<std::unique_ptr<StreamOutputFile>> StreamOutputFile::Open(const std::string& path)
{
    auto state = std::make_unique<State>();
    state->path = path;
    if (const std::optional<int> fd = NamedDescriptor(path)) {
        // A copy of the descriptor: its offset and its append mode are the ones the
        // shell set up.
        state->fd = ::fcntl(*fd, F_DUPFD_CLOEXEC, 0);
    } else {
        // A pipe without a reader fails instead of waiting.
        state->fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (state->fd >= 0)
            ::fcntl(state->fd, F_SETFL, ::fcntl(state->fd, F_GETFL) & ~O_NONBLOCK);
    }
    if (state->fd < 0) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(path) + ": " + std::strerror(errno));
    }
    return std::unique_ptr<StreamOutputFile>(new StreamOutputFile(std::move(state)));
}

Expected<void> StreamOutputFile::Write(std::span<const std::uint8_t> bytes)
{
    int code = EBADF;
    if (m_state->fd < 0 || !WriteAll(m_state->fd, bytes.data(), bytes.size(), code)) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + std::strerror(code));
    }
    return {};
}

Expected<void> StreamOutputFile::Commit()
{
    const int fd = std::exchange(m_state->fd, -1);
    if (fd < 0 || ::close(fd) != 0) {
        return Fail(ErrorCode::FileFailed,
                    "cannot write " + Quoted(m_state->path) + ": " + std::strerror(fd < 0 ? EBADF : errno));
    }
    return {};
}

}  // namespace zelv4
