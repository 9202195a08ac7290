#include "cli/run/ChipRun.h"

#include <chrono>

#include "cli/ExitCodes.h"
#include "cli/output/CapturedOutput.h"
#include "cli/output/OperationExplanation.h"
#include "cli/run/ChipHooks.h"
#include "cli/run/CliWindow.h"
#include "cli/run/Interruption.h"
#include "device/DevicePlatform.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

namespace {

// The chip ends with `error`, unless it failed already.
void FailChip(ChipRun& run, const Error& error)
{
    run.err += error.message + "\n";
    if (run.exitCode != EXIT_OK)
        return;
    run.exitCode = ExitCodeFor(error.code);
    run.outcome = ExitCodeName(run.exitCode);
    run.message = error.message;
}

}  // namespace

ChipRun RunOnChip(DevicePlatform& platform, const OperationRequest& request, const std::string& path,
                  const std::string& port, const ChipRunSettings& settings, std::optional<FoundIspDevice> found)
{
    const auto start = std::chrono::steady_clock::now();
    ChipRun run;
    run.path = path;
    run.port = port;
    OperationRequest own = request;
    if (settings.hooks != nullptr) {
        Expected<std::shared_ptr<const LoadedImageFile>> image = settings.hooks->BeforeChip(path, port, request.image);
        if (!image) {
            FailChip(run, image.error());
            return run;
        }
        own.image = *image;
    }
    // The result line carries the message; only the explanations on stderr are kept.
    CapturedOutput said;
    DeviceOperation operation(platform, own, said, SelectPath(path),
                              settings.interruption ? settings.interruption->After(settings.stopAt)
                                                    : std::function<bool()>());
    operation.Connection().SetWaitCutShort(settings.waitCutShort);
    if (found)
        operation.Connection().Offer(std::move(*found));
    run.result = operation.Run();
    run.err = said.Text(OutputStream::Err) + ExplainResult(run.result, false);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exitCode =
        settings.interruption ? ExitCodeFor(run.result, settings.interruption->ExitCode()) : ExitCodeFor(run.result);
    run.outcome = OutcomeName(run.result);
    // Auto says "Device not found !!" of a chip that is there, held by another program.
    run.message = run.result.outcome == OperationOutcome::DeviceBusy ? "held by another program; left alone"
                                                                     : AsLine(run.result.LastMessage());
    if (settings.hooks != nullptr)
        if (const Expected<void> kept = settings.hooks->AfterChip(run); !kept) {
            FailChip(run, kept.error());
            run.recordFailed = true;
        }
    return run;
}

}  // namespace zelv4
