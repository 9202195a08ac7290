#include <iostream>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ExitCodes.h"
#include "sys/ProcessSetup.h"
#include "sys/StandardOutput.h"

// On Windows the wide entry point: the narrow arguments have been through the ANSI
// code page, where a name it lacks is mapped to a look-alike (another file's name).
#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
    // Before anything is opened: a closed stdout must not become the device node.
    const zelv4::ClosedStreams closed = zelv4::EnsureStandardStreams();
    zelv4::UseUtf8Console();
    zelv4::StandardOutput output;
    std::ostream out(&output);
    zelv4::CliEnvironment environment;
    environment.errIsTerminal = &zelv4::StderrIsTerminal;
    environment.errColumns = &zelv4::StderrColumns;
    environment.stdoutClosed = closed.output;
    const zelv4::ProgramArguments arguments = zelv4::ReadProgramArguments(argc, argv);
    environment.argumentError = arguments.error;
    std::vector<const char*> values;
    for (const std::string& value : arguments.values)
        values.push_back(value.c_str());
    int code = zelv4::RunCli(static_cast<int>(values.size()), values.data(), out, std::cerr, environment);

    // Output that did not reach its file (a full disk, /dev/full) is a failure.
    out.flush();
    if (!output.Error().empty()) {
        std::cerr << "zelv4-isp: cannot write to standard output: " << output.Error() << "\n";
        if (code == zelv4::EXIT_OK)
            code = zelv4::EXIT_FILE;
    }
    return code;
}
