#pragma once

#include <string>

namespace zelv4 {

// The file dialogs' filters and default extensions as the common dialogs take them.
class FileDialogFilter {
public:
    // "Text|pattern|Text|pattern||" becomes the pairs each ended by a zero byte and
    // the list ended by one more. A text without its pattern is dropped.
    static std::string ToFilterList(const std::string& filter);

    // The extension without dot or wildcard: "*.dmp", ".dmp" and "dmp" give "dmp";
    // "", "*" and "*.*" give "" (no default extension). The dialog appends what it
    // is given to a name typed without one, so "*.dmp" itself would make "a.*.d".
    static std::string ToDefaultExtension(const std::string& defaultExtension);
};

}  // namespace zelv4
