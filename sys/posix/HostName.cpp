#include "sys/HostName.h"

#include <unistd.h>

#include <climits>

namespace zelv4 {

std::string HostName()
{
    // POSIX allows a name as long as HOST_NAME_MAX without its terminator.
    char name[HOST_NAME_MAX + 1] = "";
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "unknown";
    return name;
}

}  // namespace zelv4
