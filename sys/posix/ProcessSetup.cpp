#include "sys/ProcessSetup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zelv4 {

void EnsureStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one, as the ones below it are open.
        // Inherited by children like any standard stream, so not close-on-exec.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd)
            std::_Exit(EXIT_FAILURE);  // nowhere safe to write, nowhere to say so
    }
}

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void UseUtf8Console() {}

ProgramArguments ReadProgramArguments(int argc, const char* const* argv)
{
    ProgramArguments arguments;
    arguments.values.assign(argv, argv + argc);
    return arguments;
}

}  // namespace zelv4
