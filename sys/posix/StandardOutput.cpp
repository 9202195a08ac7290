#include "sys/StandardOutput.h"

#include <unistd.h>

#include <cstring>

#include "sys/posix/WriteAll.h"

namespace zelv4 {

Expected<void> StandardOutput::WriteAll(const char* data, std::size_t size)
{
    int code = 0;
    if (zelv4::WriteAll(STDOUT_FILENO, data, size, code))
        return {};
    return Fail(ErrorCode::FileFailed, std::strerror(code));
}

}  // namespace zelv4
