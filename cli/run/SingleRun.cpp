#include "cli/run/SingleRun.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/output/AttachedDevicesText.h"
#include "cli/output/OperationExplanation.h"
#include "cli/output/TerminalProgress.h"
#include "cli/run/ChipHooks.h"
#include "cli/run/ChipRun.h"
#include "cli/run/DeviceChoice.h"
#include "cli/run/Interruption.h"
#include "core/FirmwareImage.h"
#include "device/DevicePlatform.h"
#include "device/HidPlatform.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

CommandResult RunOnOneDevice(DevicePlatform& platform, const OperationRequest& request, const DeviceChoice& choice,
                             const GlobalOptions& options, CommandServices& services, const Interruption& interruption,
                             nlohmann::json details, ChipHooks* hooks)
{
    // Re-connect counts the whole bus; any other command would have to guess.
    if (!choice.Chosen() && request.operation != &IspOperations::OnReconnect) {
        const std::vector<AttachedIspDevice> attached = ListIspDevices(platform.Hid());
        if (attached.size() > 1) {
            CommandResult refused = CommandResult::Refused(
                std::to_string(attached.size()) +
                    " ZEL-V4 ISP devices are attached; choose one with --port PATH or --device NODE, or use --all:",
                "several-devices");
            refused.Err(AttachedText(attached));
            refused.details = std::move(details);
            refused.details["isp_devices"] = AttachedJson(attached);
            return refused;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    OperationRequest own = request;
    if (hooks != nullptr) {
        Expected<std::shared_ptr<const LoadedImageFile>> image = hooks->BeforeChip({}, {}, request.image);
        if (!image)
            return CommandResult::Failed(image.error(), ExitCodeName(ExitCodeFor(image.error().code)));
        own.image = *image;
    }

    DeviceOperation run(platform, own, services.output, choice.Selection(platform.Hid()), interruption.After(1));
    // Auto waits for the chip on the system's events.
    if (request.operation == &IspOperations::OnAuto)
        run.Connection().WatchArrivals();
    std::optional<TerminalProgress> progress;
    const bool terminal = services.environment.errIsTerminal && services.environment.errIsTerminal();
    if (!options.quiet && terminal)
        progress.emplace(services.progress, services.environment.errColumns);
    const OperationResult result = run.Run(progress ? &*progress : nullptr);
    progress.reset();

    CommandResult ended = CommandResult::OfOperation(result, interruption.ExitCode());
    ended.Err(ExplainResult(result, options.lenient, !choice.Chosen()));
    const std::string path = result.deviceFound ? run.Connection().DevicePath() : std::string();
    ended.details = OperationDetails(result, path);
    const std::optional<std::string> port = result.deviceFound ? platform.Hid().PortPath(path) : std::nullopt;
    if (port)
        ended.details["port"] = *port;
    // The chosen device is not there: say what is.
    if (choice.Chosen() && !result.deviceFound &&
        (result.outcome == OperationOutcome::NoDevice || result.outcome == OperationOutcome::TimedOut)) {
        const std::vector<AttachedIspDevice> attached = ListIspDevices(platform.Hid());
        ended.Err("no ZEL-V4 ISP device " + choice.Describe() +
                  (attached.empty() ? "; none is attached\n" : "; attached:\n"));
        ended.Err(AttachedText(attached));
        ended.details["isp_devices"] = AttachedJson(attached);
    }
    if (hooks != nullptr) {
        ChipRun chip{path,
                     port.value_or(std::string()),
                     result,
                     ended.Text(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                     ended.exitCode,
                     ended.outcome,
                     ended.message,
                     std::nullopt,
                     false};
        const Expected<void> kept = hooks->AfterChip(chip);
        if (chip.serial) {
            ended.details["serial"] = *chip.serial;
            ended.details["file_checksum"] = ImageChecksum(request.image->image);
            if (ended.exitCode == EXIT_OK && kept)
                ended.Out("Serial " + std::to_string(*chip.serial) + ", chip checksum " +
                          ChecksumText(ImageChecksum(own.image->image)) + "\n");
            else if (kept)
                ended.Err("serial " + std::to_string(*chip.serial) + " was given to a chip that failed: spoiled\n");
        }
        if (!kept) {
            CommandResult failed = CommandResult::Failed(kept.error(), ExitCodeName(ExitCodeFor(kept.error().code)));
            failed.lines.insert(failed.lines.begin(), ended.lines.begin(), ended.lines.end());
            failed.details = std::move(ended.details);
            return ended.exitCode == EXIT_OK ? failed : ended.Err(kept.error().message + "\n");
        }
    }
    return ended;
}

}  // namespace zelv4
