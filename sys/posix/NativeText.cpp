#include "sys/NativeText.h"

namespace zelv4 {

// Paths are bytes here, UTF-8 by convention; what is not is left to the writer.
std::string NativeToUtf8(const std::string& text)
{
    return text;
}

}  // namespace zelv4
