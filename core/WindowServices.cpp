#include "core/WindowServices.h"

namespace zelv4 {

std::string FileDialogOptions::DefaultExtension() const
{
    const std::size_t first = defaultExtension.find_first_not_of(" \t*.");
    if (first == std::string::npos)
        return "";
    const std::size_t last = defaultExtension.find_last_not_of(" \t");
    const std::string extension = defaultExtension.substr(first, last - first + 1);
    return extension.find('*') == std::string::npos ? extension : "";
}

}  // namespace zelv4
