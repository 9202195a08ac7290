#include "sys/StandardOutput.h"

#include <unistd.h>

#include <cstring>

#include "sys/posix/WriteAll.h"

namespace zelv4 {

bool StandardOutput::WriteAll(const char* data, std::size_t size, std::string& error)
{
    int code = 0;
    if (zelv4::WriteAll(STDOUT_FILENO, data, size, code))
        return true;
    error = std::strerror(code);
    return false;
}

}  // namespace zelv4
