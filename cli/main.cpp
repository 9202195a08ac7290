#include <iostream>

#include "cli/CliApp.h"
#include "cli/CliExitCodes.h"
#include "sys/ProcessSetup.h"
#include "sys/StandardOutput.h"

int main(int argc, char** argv)
{
    // Before anything is opened: a closed stdout must not become the device node.
    const zelv4::ClosedStreams closed = zelv4::EnsureStandardStreams();
    zelv4::StandardOutput output;
    std::ostream out(&output);
    zelv4::CliEnvironment environment;
    environment.errIsTerminal = &zelv4::StderrIsTerminal;
    environment.errColumns = &zelv4::StderrColumns;
    environment.stdoutClosed = closed.output;
    int code = zelv4::RunCli(argc, argv, out, std::cerr, environment);

    // Output that did not reach its file (a full disk, /dev/full) is a failure.
    out.flush();
    if (!output.Error().empty()) {
        std::cerr << "zelv4-isp: cannot write to standard output: " << output.Error() << "\n";
        if (code == zelv4::EXIT_OK)
            code = zelv4::EXIT_FILE;
    }
    return code;
}
