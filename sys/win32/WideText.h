#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelv4 {

// Text inside the program is UTF-8; Windows takes and gives names and messages in
// UTF-16 through its W functions. Neither conversion ever maps a character to a
// look-alike: what one side cannot carry is refused.

// None when `text` is not UTF-8.
std::optional<std::wstring> Utf8ToWide(std::string_view text);

// None when `text` holds an unpaired surrogate (Windows names may), which UTF-8
// cannot carry.
std::optional<std::string> WideToUtf8(std::wstring_view text);

// For display only: an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8Shown(std::wstring_view text);

}  // namespace zelv4
