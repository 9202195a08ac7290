#pragma once

#include <string>

namespace zelv4 {

// Text in the system's narrow encoding (paths, device names, messages that quote
// them) as UTF-8, for output that must be UTF-8 such as JSON. Bytes that are not
// text in that encoding are passed on unchanged.
std::string NativeToUtf8(const std::string& text);

}  // namespace zelv4
