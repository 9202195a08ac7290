#include "sys/ProcessSetup.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zelv4 {

ClosedStreams EnsureStandardStreams()
{
    ClosedStreams closed;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        (fd == 0 ? closed.input : fd == 1 ? closed.output : closed.error) = true;
        // The lowest free descriptor is this one, as the ones below it are open.
        // Inherited by children like any standard stream, so not close-on-exec.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd)
            std::_Exit(EXIT_FAILURE);  // nowhere safe to write, nowhere to say so
    }
    return closed;
}

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

unsigned StderrColumns()
{
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void UseUtf8Console() {}

ProgramArguments ReadProgramArguments(int argc, const char* const* argv)
{
    ProgramArguments arguments;
    arguments.values.assign(argv, argv + argc);
    return arguments;
}

}  // namespace zelv4
