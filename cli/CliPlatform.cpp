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
            std::string error;
            context.stateFile = std::make_unique<SimStateFile>(*context.simStatePath);
            const FileLock::Result locked = context.stateFile->Lock(error);
            if (locked != FileLock::Result::Locked) {
                const bool busy = locked == FileLock::Result::Busy;
                context.stateFile.reset();
                Fail(context, busy ? EXIT_DEVICE_BUSY : EXIT_FILE, busy ? "device-busy" : "state-file-error", error);
                return nullptr;
            }
            flash = context.stateFile->Load(error);
            if (!flash) {
                Fail(context, EXIT_FILE, "state-file-error", error);
                return nullptr;
            }
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
        std::string error;
        context.platform = CreateOsPlatform(error);
        if (!context.platform) {
            Fail(context, EXIT_NO_DEVICE, "no-device", "No device backend on this system: " + error);
            return nullptr;
        }
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
    std::string error;
    if (!context.stateFile->Save(context.stateMachine->Loader().Flash(), error)) {
        context.err << error << "\n";
        if (context.exitCode == EXIT_OK) {
            context.report.SetOutcome("state-file-error", error);
            context.exitCode = EXIT_FILE;
        }
    }
}

}  // namespace zelv4
