#pragma once

#include <ostream>

#include "cli/CliEnvironment.h"
#include "cli/CommandResult.h"
#include "cli/GlobalOptions.h"
#include "cli/output/OutputSink.h"

namespace CLI {
class App;
}

namespace zelv4 {

class Machine;

// What a command runs with besides the options: where its text goes as it happens,
// the machine it works on (made on first use), and what the process tells of its
// terminal, its standard output and its signals.
struct CommandServices {
    OutputSink& output;
    Machine& machine;
    const CliEnvironment& environment;
    // Where progress is drawn: the real error stream, also with --json.
    std::ostream& progress;

    bool StdoutClosed() const { return environment.stdoutClosed; }
};

// One subcommand: its own arguments and options, and a run that returns how it
// ended. The front end parses, runs and renders; a command never prints its result.
class Command {
public:
    virtual ~Command() = default;
    // Adds the arguments and options to the command's CLI11 subcommand, bound to
    // the command's own members (a command with subcommands of its own adds them
    // here too).
    virtual void AddOptions(CLI::App& command) = 0;
    virtual CommandResult Run(const GlobalOptions& options, CommandServices& services) = 0;
};

}  // namespace zelv4
