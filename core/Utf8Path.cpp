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

std::optional<std::string> Utf16ToUtf8(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] < 0xDC00;
        const bool low = text[i] >= 0xDC00 && text[i] < 0xE000;
        if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] >= 0xE000)))
            return std::nullopt;
        i += high ? 1 : 0;
    }
    try {
        return PathString(std::filesystem::path(std::u16string(text)));
    } catch (const std::exception&) {
        return std::nullopt;
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
