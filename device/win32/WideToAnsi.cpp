#include "device/win32/WideToAnsi.h"

#include <windows.h>

#include <climits>

namespace zelv4 {

std::optional<std::string> WideToAnsi(const std::u16string& text)
{
    if (text.empty())
        return std::string();
    if (text.size() > INT_MAX / 4)
        return std::nullopt;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    BOOL lossy = FALSE;
    // A system whose ANSI code page is UTF-8 refuses the lossy flag and best-fit
    // flag; nothing is lost there. Elsewhere best fit would turn "\u0100" into "A":
    // a name of some other object, which must be refused like a '?'.
    const bool utf8 = ::GetACP() == CP_UTF8;
    BOOL* lossyFlag = utf8 ? nullptr : &lossy;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int size = ::WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, nullptr, lossyFlag);
    if (size <= 0 || lossy)
        return std::nullopt;
    std::string ansi(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, wide, units, ansi.data(), size, nullptr, nullptr) != size)
        return std::nullopt;
    return ansi;
}

}  // namespace zelv4
