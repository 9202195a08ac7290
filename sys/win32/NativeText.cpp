#include "sys/NativeText.h"

#include <windows.h>

#include <climits>

namespace zelv4 {

// Narrow strings are in the ANSI code page, as the A functions take and give them.
std::string NativeToUtf8(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX / 4)
        return text;
    const int length = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (units <= 0)
        return text;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), units);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return text;
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

}  // namespace zelv4
