#pragma once

#include <string>

namespace zelv4 {

// How every message names a file: in double quotes, so that spaces, and an empty
// name, can be seen.
inline std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

}  // namespace zelv4
