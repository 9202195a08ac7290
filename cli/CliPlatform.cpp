#include "cli/CliPlatform.h"

#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/SimStateFile.h"
#include "device/DevicePlatform.h"
#include "device/sim/SimMachine.h"

namespace zelv4 {

namespace {

void Fail(CliContext& context, int exitCode, const std::string& outcome, const std::string& message)
{
    context.err << message << "\n";
    context.report.SetOutcome(outcome, message);
    context.exitCode = exitCode;
}

}  // namespace

DevicePlatform* PlatformFor(CliContext& context)
{
    if (context.platform)
        return context.platform.get();
    if (context.environment.machine) {
        context.platform = context.environment.machine;
    } else if (context.simulated) {
        std::optional<FirmwareImage> flash;
        if (context.simStatePath) {
            context.stateFile = std::make_unique<SimStateFile>(*context.simStatePath);
            if (const Expected<void> locked = context.stateFile->Lock(); !locked) {
                const bool busy = locked.error().code == ErrorCode::Busy;
                context.stateFile.reset();
                Fail(context, busy ? EXIT_DEVICE_BUSY : EXIT_FILE, busy ? "device-busy" : "state-file-error",
                     locked.error().message);
                return nullptr;
            }
            Expected<FirmwareImage> loaded = context.stateFile->Load();
            if (!loaded) {
                Fail(context, EXIT_FILE, "state-file-error", loaded.error().message);
                return nullptr;
            }
            flash = *loaded;
        }
        std::shared_ptr<SimMachine> machine = SimMachine::CreateDefault(flash);
        machine->SetTransferDelay(std::chrono::microseconds(static_cast<long>(context.simDelayMilliseconds * 1000)));
        for (unsigned chip = 1; chip < context.simChips; ++chip)
            machine->AddChip();
        for (const unsigned after : context.simArrivals)
            machine->AddChip(std::chrono::milliseconds(after));
        if (context.simStatePath)
            context.stateMachine = machine.get();
        context.platform = std::move(machine);
    } else {
        Expected<std::unique_ptr<DevicePlatform>> created = CreateOsPlatform();
        if (!created) {
            Fail(context, EXIT_NO_DEVICE, "no-device", "No device backend on this system: " + created.error().message);
            return nullptr;
        }
        context.platform = std::move(*created);
    }
    return context.platform.get();
}

bool RequireStdout(CliContext& context)
{
    if (!context.environment.stdoutClosed)
        return true;
    Fail(context, EXIT_FILE, "stdout-closed", STDOUT_CLOSED);
    return false;
}

void SaveSimulatedState(CliContext& context)
{
    if (context.stateMachine == nullptr || !context.stateFile)
        return;
    if (const Expected<void> saved = context.stateFile->Save(context.stateMachine->Loader().Flash()); !saved) {
        const std::string& error = saved.error().message;
        context.err << error << "\n";
        if (context.exitCode == EXIT_OK) {
            context.report.SetOutcome("state-file-error", error);
            context.exitCode = EXIT_FILE;
        }
    }
}

}  // namespace zelv4
