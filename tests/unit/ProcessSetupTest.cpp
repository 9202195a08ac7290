#include <gtest/gtest.h>

// Descriptors as POSIX has them; zelv4-isp.exe's missing handles: scripts/wine-checks.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sys/ProcessSetup.h"

namespace zelv4 {
namespace {

// With a standard stream closed, the next file opened would take its number, and
// what the program prints would go into that file (or device). Which one was
// closed is told, so that a result meant for stdout is not lost silently.
TEST(ProcessSetup, ClosedStandardStreamsAreOpenedOnTheNullDevice)
{
    for (const int closed : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(closed);
            const ClosedStreams said = EnsureStandardStreams();
            const int fd = ::open("/dev/zero", O_RDONLY | O_CLOEXEC);
            const bool told = said.input == (closed == STDIN_FILENO) && said.output == (closed == STDOUT_FILENO) &&
                              said.error == (closed == STDERR_FILENO);
            ::_exit(fd > STDERR_FILENO && ::fcntl(closed, F_GETFD) != -1 && told ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "fd " << closed;
    }
}

}  // namespace
}  // namespace zelv4
#endif
