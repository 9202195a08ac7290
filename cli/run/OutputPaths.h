#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandResult.h"
#include "cli/GlobalOptions.h"

namespace zelv4 {

// A file the run reads, by what it is to the user ("the firmware file").
struct RunInput {
    std::string what;
    std::string path;
};

// The inputs an output of this run must never overwrite: the firmware file, when
// there is one, and the --sim=STATE file.
std::vector<RunInput> RunInputs(const GlobalOptions& options, const std::string& firmwarePath = std::string());

// Checks an output path before anything is read or written, and refuses (exit 2)
// one that is an input of the run (compared by file identity, not by spelling), a
// binary output whose name makes this tool read it as HEX, or standard output under
// --json; standard output that is closed fails with exit 3. `option` names the path
// in messages ("OUT", "--output", "--log"). Returns the refusal, when there is one.
std::optional<CommandResult> CheckOutputPath(const GlobalOptions& options, bool stdoutClosed, const std::string& option,
                                             const std::string& path, bool binary, const std::vector<RunInput>& inputs);

// Whether the path is the process's standard output, where the text output must
// then not go.
bool IsStandardOutput(const std::string& path);

}  // namespace zelv4
