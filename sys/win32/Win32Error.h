#pragma once

#include <string>

namespace zelv4 {

// What a Windows error code means, in the words the C library uses for the same
// cause on every system ("No such file or directory", "Permission denied", "No
// space left on device"), so messages read alike everywhere; the system's own text
// for the rest.
std::string Win32ErrorText(unsigned long code);

}  // namespace zelv4
