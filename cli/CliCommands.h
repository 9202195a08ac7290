#pragma once

namespace CLI {
class App;
}

namespace zelv4 {

struct CliContext;

// Each family of subcommands registers itself on the application here.
void AddImageCommands(CLI::App& app, CliContext& context);
void AddOperationCommands(CLI::App& app, CliContext& context);
void AddDeviceCommands(CLI::App& app, CliContext& context);

}  // namespace zelv4
