#pragma once

namespace CLI {
class App;
}

namespace zelv4 {

struct CliContext;
class DevicePlatform;

// Each family of subcommands registers itself on the application here.
void AddImageCommands(CLI::App& app, CliContext& context);
void AddOperationCommands(CLI::App& app, CliContext& context);
void AddDeviceCommands(CLI::App& app, CliContext& context);
void AddBusCommands(CLI::App& app, CliContext& context);
void AddWatchCommand(CLI::App& app, CliContext& context);

// The bus scan as `list` shows it: every hub and every device asked, and the count.
void PrintBusScan(CliContext& context, DevicePlatform& platform);
// `probe` on the context's machine: "ZEL-V4 Found !" or "Device not found !!".
void RunProbe(CliContext& context);

}  // namespace zelv4
