#pragma once

#include <optional>
#include <string>

namespace zelv4 {

struct CommandResult;

// What --json prints for one run, on one line: the command (null when none could
// be told), how it ended, the message, every line the text output would have had
// (`text`: what the run said as it went, then the result's own lines), the exit
// code, and the details. Valid UTF-8 whatever bytes paths and device texts held.
std::string JsonReport(const std::optional<std::string>& command, const CommandResult& result, const std::string& text);

}  // namespace zelv4
