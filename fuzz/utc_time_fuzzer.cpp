// --since texts come from the command line: any bytes must parse or be refused, and a
// time read must read back the same from the text the record writes for it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/UtcTime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zelv4;
    const Expected<UtcTime> parsed = ParseUtcTime(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) {
        if (parsed.error().message.empty())
            __builtin_trap();
        return 0;
    }
    const std::string text = UtcTimeText(*parsed);
    const Expected<UtcTime> again = ParseUtcTime(text);
    if (text.size() != 24 || !again || *again != *parsed)
        __builtin_trap();
    return 0;
}
