#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelv4 {

// A dialog's initial control data (resource type 240): messages to send to its
// controls once they exist, the way the template's list boxes and combo boxes get
// their first items. The plain dialog manager does not run it; the window does.
class DialogInitData {
public:
    struct Entry {
        int controlId = 0;
        // The message in the template's 16-bit numbering (0x0403 adds a combo box item).
        std::uint16_t message = 0;
        std::string text;  // the message's data, up to its terminator
    };

    static constexpr std::uint16_t ADD_STRING_COMBO_BOX = 0x0403;
    static constexpr std::uint16_t ADD_STRING_LIST_BOX = 0x0401;

    // Entries up to the end mark (a zero control id). Each is a 16-bit control
    // id, a 16-bit message and a 32-bit data length, then the data, all little
    // endian and unaligned. None when an entry runs past the bytes or no end mark
    // comes: a damaged block is not half run.
    static std::optional<std::vector<Entry>> Parse(std::span<const std::uint8_t> bytes);
};

}  // namespace zelv4
