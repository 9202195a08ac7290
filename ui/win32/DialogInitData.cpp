#include "ui/win32/DialogInitData.h"

#include <algorithm>

namespace zelv4 {

std::optional<std::vector<DialogInitData::Entry>> DialogInitData::Parse(std::span<const std::uint8_t> bytes)
{
    const auto le16 = [&bytes](std::size_t at) { return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8)); };
    std::vector<Entry> entries;
    std::size_t at = 0;
    while (at + 2 <= bytes.size()) {
        const std::uint16_t id = le16(at);
        if (id == 0)
            return entries;
        if (at + 8 > bytes.size())
            return std::nullopt;
        Entry entry;
        entry.controlId = id;
        entry.message = le16(at + 2);
        const std::uint32_t length =
            static_cast<std::uint32_t>(le16(at + 4)) | (static_cast<std::uint32_t>(le16(at + 6)) << 16);
        at += 8;
        if (length > bytes.size() - at)
            return std::nullopt;
        const auto data = bytes.subspan(at, length);
        const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
        entry.text.assign(data.begin(), end);
        entries.push_back(std::move(entry));
        at += length;
    }
    return std::nullopt;
}

}  // namespace zelv4
