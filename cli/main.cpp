#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/CliApp.h"
#include "cli/CliExitCodes.h"
#include "sys/ProcessSetup.h"

int main(int argc, char** argv)
{
    // Before anything is opened: a closed stdout must not become the device node.
    zelv4::EnsureStandardStreams();
    zelv4::CliEnvironment environment;
    environment.errIsTerminal = &zelv4::StderrIsTerminal;
    int code = zelv4::RunCli(argc, argv, std::cout, std::cerr, environment);

    // Output that did not reach its file (a full disk, /dev/full) is a failure.
    errno = 0;
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::cerr << "zelv4-isp: cannot write to standard output: "
                  << (error != 0 ? std::strerror(error) : "write error") << "\n";
        if (code == zelv4::EXIT_OK)
            code = zelv4::EXIT_FILE;
    }
    return code;
}
