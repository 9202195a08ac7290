#pragma once

#include <string>

namespace zelv4 {

// The window's exchanged fields: path edit, chip combo box, checksum label.
struct DialogFields {
    std::string m_strFile;
    std::string m_strChip;
    std::string m_strChecksum;
};

}  // namespace zelv4
