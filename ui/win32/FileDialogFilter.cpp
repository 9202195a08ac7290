#include "ui/win32/FileDialogFilter.h"

#include <vector>

namespace zelv4 {

std::string FileDialogFilter::ToFilterList(const std::string& filter)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : filter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);

    std::string list;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        // The "||" end mark leaves an empty text.
        if (parts[i].empty())
            break;
        list += parts[i];
        list.push_back('\0');
        list += parts[i + 1];
        list.push_back('\0');
    }
    list.push_back('\0');
    return list;
}

}  // namespace zelv4
