#include "sys/win32/WideText.h"

#include <windows.h>

#include <climits>

namespace zelv4 {

namespace {

std::optional<std::string> ToUtf8(std::wstring_view text, DWORD flags)
{
    if (text.empty())
        return std::string();
    if (text.size() > INT_MAX / 4)
        return std::nullopt;
    const int units = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, flags, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::nullopt;
    std::string utf8(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_UTF8, flags, text.data(), units, utf8.data(), size, nullptr, nullptr) != size)
        return std::nullopt;
    return utf8;
}

}  // namespace

std::optional<std::wstring> Utf8ToWide(std::string_view text)
{
    if (text.empty())
        return std::wstring();
    if (text.size() > INT_MAX)
        return std::nullopt;
    const int length = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (units <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), units) != units)
        return std::nullopt;
    return wide;
}

std::optional<std::string> WideToUtf8(std::wstring_view text)
{
    return ToUtf8(text, WC_ERR_INVALID_CHARS);
}

std::string WideToUtf8Shown(std::wstring_view text)
{
    return ToUtf8(text, 0).value_or(std::string());
}

}  // namespace zelv4
