#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zelv4 {

// How numbers are written for people, one spelling each wherever they appear.

// A flash address or a 16-bit value in messages: "0x4FFF".
inline std::string AddressText(std::size_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%04zX", value);
    return text;
}

// A byte in messages: "0xFE".
inline std::string ByteText(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// A USB id or version as the system's tools show it: four lower-case digits, "040b".
inline std::string UsbIdText(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

}  // namespace zelv4
