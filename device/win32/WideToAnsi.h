#pragma once

#include <optional>
#include <string>

namespace zelv4 {

// UTF-16 text in the system's ANSI code page, as the A functions take it; none
// when the conversion fails or a character has no ANSI form (a name with a '?' in
// its place would open some other object, or none).
std::optional<std::string> WideToAnsi(const std::u16string& text);

}  // namespace zelv4
