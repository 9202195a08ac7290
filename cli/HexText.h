#pragma once

#include <cstdio>
#include <string>

namespace zelv4 {

// A USB id or version as the system's tools show it: four lower-case hex digits.
inline std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

}  // namespace zelv4
