#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zelv4::test {

// One Intel HEX record in upper case with a correct checksum, without line end.
inline std::string HexRecord(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
                                    static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    std::string text = ":";
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(b));
        text += pair;
    }
    return text;
}

inline std::string HexData(std::uint16_t offset, const std::vector<std::uint8_t>& data)
{
    return HexRecord(0x00, offset, data);
}

inline const std::string HEX_END = ":00000001FF";

inline std::string Lowercase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// LF line ends to CR LF.
inline std::string WithCrLf(const std::string& text)
{
    std::string result;
    for (char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
}

// ASCII text as UTF-16, as some editors and shells save it, with or without a
// byte-order mark.
inline std::string Utf16(const std::string& text, bool bigEndian, bool byteOrderMark)
{
    std::string result = byteOrderMark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (char c : text)
        result += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return result;
}

}  // namespace zelv4::test
