#include "cli/SimStateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace zelv4 {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// Writes all of `size` bytes to `fd`, riding over short writes and signals.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

SimStateFile::SimStateFile(std::string path) : m_path(std::move(path)) {}

std::optional<FirmwareImage> SimStateFile::Load(std::string& error) const
{
    FirmwareImage flash;
    flash.fill(0xFF);
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(m_path.c_str(), "rb"));
    if (!file) {
        if (errno == ENOENT)
            return flash;  // a new chip, erased
        error = "cannot read the simulated flash state " + Quoted(m_path) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    // One byte more than the flash tells a longer file from a right-sized one
    // without reading all of it.
    std::vector<std::uint8_t> bytes(flash.size() + 1);
    errno = 0;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        error = "cannot read the simulated flash state " + Quoted(m_path) + ": " +
                (errno != 0 ? std::strerror(errno) : "read error");
        return std::nullopt;
    }
    if (got != flash.size()) {
        error = "the simulated flash state " + Quoted(m_path) + " is damaged: it must hold exactly " +
                std::to_string(flash.size()) + " bytes, but " +
                (got > flash.size() ? std::string("it is longer") : "it has " + std::to_string(got)) +
                "; remove it to start from an erased chip";
        return std::nullopt;
    }
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(flash.size()), flash.begin());
    return flash;
}

bool SimStateFile::Save(const FirmwareImage& flash, std::string& error) const
{
    std::string temporary = m_path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot save the simulated flash state " + Quoted(m_path) + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; the state keeps the mode of the file it replaces,
    // or gets the usual one for a new file.
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(m_path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, flash.data(), flash.size()) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), m_path.c_str()) != 0) {
        const int code = !written ? writeErrno : errno;
        ::unlink(temporary.c_str());
        error = "cannot save the simulated flash state " + Quoted(m_path) + ": " + std::strerror(code);
        return false;
    }
    return true;
}

}  // namespace zelv4
