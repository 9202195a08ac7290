#pragma once

#include <ostream>

namespace zelv4 {

// The whole command line, runnable in-process: returns the exit code.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace zelv4
