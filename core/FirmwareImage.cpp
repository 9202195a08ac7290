#include "core/FirmwareImage.h"

#include <cctype>
#include <cstdio>
#include <numeric>

namespace zelv4 {

std::uint16_t ImageChecksum(const FirmwareImage& image)
{
    const unsigned sum = std::accumulate(image.begin(), image.end(), 0u);
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::string ChecksumText(std::uint16_t checksum)
{
    char text[8];
    std::snprintf(text, sizeof text, "%4x", static_cast<unsigned>(checksum));
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result + "h";
}

}  // namespace zelv4
