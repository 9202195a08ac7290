#include <CLI/CLI.hpp>

#include "CliCommands.h"
#include "CliContext.h"

namespace zelv4 {

void AddImageCommands(CLI::App& /*app*/, CliContext& /*context*/) {}

}  // namespace zelv4
