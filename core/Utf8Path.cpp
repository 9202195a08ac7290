#include "core/Utf8Path.h"

#include <cerrno>
#include <exception>

namespace zelv4 {

std::filesystem::path FileSystemPath(const std::string& path)
{
    try {
        return std::filesystem::path(std::u8string(path.begin(), path.end()));
    } catch (const std::exception&) {
        return std::filesystem::path();
    }
}

std::string PathString(const std::filesystem::path& path)
{
    try {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    } catch (const std::exception&) {
        return std::string();
    }
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    errno = 0;
#ifdef _WIN32
    const std::filesystem::path name = FileSystemPath(path);
    if (name.empty() && !path.empty()) {
        errno = EILSEQ;
        return nullptr;
    }
    const std::string narrowMode(mode);
    const std::wstring wideMode(narrowMode.begin(), narrowMode.end());
    return ::_wfopen(name.c_str(), wideMode.c_str());
#elif defined(__GLIBC__)
    // "e": O_CLOEXEC.
    return std::fopen(path.c_str(), (std::string(mode) + "e").c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace zelv4
