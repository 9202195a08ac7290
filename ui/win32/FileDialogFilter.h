#pragma once

#include <string>

namespace zelv4 {

// The file dialogs' filters as the common dialogs take them.
class FileDialogFilter {
public:
    // "Text|pattern|Text|pattern||" becomes the pairs each ended by a zero byte and
    // the list ended by one more. A text without its pattern is dropped.
    static std::string ToFilterList(const std::string& filter);
};

}  // namespace zelv4
