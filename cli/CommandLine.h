#pragma once

#include <ostream>

#include "cli/CliEnvironment.h"

namespace zelv4 {

// The whole command line, runnable in-process: parses the arguments, runs the one
// command they name, and renders its result once, as text or as --json's object.
// Returns the exit code.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
// The same in a given environment: a machine to run on, a terminal check, signals.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliEnvironment& environment);

}  // namespace zelv4
