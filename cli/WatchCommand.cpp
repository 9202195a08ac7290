#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>

#include "cli/ChipLog.h"
#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/ImageWarnings.h"
#include "cli/Interruption.h"
#include "cli/OutputPaths.h"
#include "cli/ProductionStation.h"
#include "core/FirmwareImage.h"
#include "device/DevicePlatform.h"

namespace zelv4 {

namespace {

struct WatchOptions {
    std::string imagePath;
    std::string operation = "auto";
    std::string logPath;
    std::optional<unsigned> count;
};

Operation OperationNamed(const std::string& name)
{
    if (name == "write")
        return &IspOperations::OnWrite;
    if (name == "verify")
        return &IspOperations::OnVerify;
    return &IspOperations::OnAuto;
}

void RunWatch(CliContext& context, const WatchOptions& options)
{
    // A line per chip and the tally are what a station is for.
    if (!RequireStdout(context))
        return;
    // The image is read once, strictly unless --lenient, before any chip is touched.
    auto image = std::make_shared<LoadedImageFile>();
    if (!LoadImageForCommand(context, options.imagePath, *image, true))
        return;
    if (!options.logPath.empty() &&
        !CheckOutputPath(context, "--log", options.logPath, false, RunInputs(context, options.imagePath)))
        return;
    std::unique_ptr<ChipLog> log;
    if (!options.logPath.empty()) {
        std::string error;
        log = ChipLog::Open(options.logPath, error);
        if (!log) {
            context.err << error << "\n";
            context.report.SetOutcome("log-error", error);
            context.exitCode = EXIT_FILE;
            return;
        }
    }
    DevicePlatform* platform = PlatformFor(context);
    if (platform == nullptr)
        return;

    StationOptions station;
    station.job.operation = OperationNamed(options.operation);
    station.job.imagePath = options.imagePath;
    station.job.image = image;
    station.operationName = options.operation;
    const std::uint16_t checksum = ImageChecksum(image->image);
    station.checksum = checksum;
    station.count = options.count;
    station.selection = context.choice.Selection(platform->Hid());
    station.log = log.get();
    // The first Ctrl-C lets the chips in progress finish; the second abandons them,
    // each still reported and logged; a third ends the program at once.
    const Interruption interruption(context.environment, 2);
    station.stopRequested = interruption.After(1);
    station.job.interruption = &interruption;
    station.job.stopAt = 2;

    context.out << "Watching for ZEL-V4 ISP devices: " << options.operation << " " << options.imagePath << " (checksum "
                << ChecksumText(checksum) << ") on each as it appears"
                << (options.count
                        ? "; stops after " + std::to_string(*options.count) + (*options.count == 1 ? " chip" : " chips")
                        : std::string())
                << "; Ctrl-C stops\n";
    context.out.flush();
    ProductionStation line(*platform, context.out, context.err, std::move(station));
    const int stationCode = line.Run();
    const int code = interruption.Count() >= 2 ? interruption.ExitCode() : stationCode;

    const unsigned chips = line.Programmed();
    const std::string tally =
        "Tally: " + std::to_string(chips) + (chips == 1 ? " chip, " : " chips, ") + line.CountsText(true);
    context.out << tally << "\n";
    context.exitCode = code;
    context.report.SetOutcome(ExitCodeName(code), tally);
    nlohmann::json& details = context.report.Details();
    details["operation"] = options.operation;
    details["image_path"] = options.imagePath;
    details["checksum"] = checksum;
    details["log_path"] = options.logPath.empty() ? nlohmann::json(nullptr) : nlohmann::json(options.logPath);
    details["log_failed"] = line.LogFailed();
    details["passed"] = line.Passed();
    details["failed"] = line.Failed();
    details["skipped"] = line.Skipped();
    details["interrupted"] = line.Interrupted();
    details["retried"] = line.Retried();
    details["chips"] = nlohmann::json(line.Chips());
}

}  // namespace

void AddWatchCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<WatchOptions>();
    CLI::App* watch = app.add_subcommand(
        "watch", "Station mode: program every ZEL-V4 ISP device as it appears (and those attached at the start), "
                 "each on its own thread, until Ctrl-C; a line per chip and a running tally");
    watch->add_option("FILE", options->imagePath, "Firmware file")->required();
    watch->add_option("--op", options->operation, "What to do with each chip (default auto)")
        ->check(CLI::IsMember({"auto", "write", "verify"}));
    watch->add_option("--log", options->logPath,
                      "Append one JSON object per chip to FILE (JSON Lines), written at once; a log that cannot "
                      "be opened stops the station before any chip");
    watch
        ->add_option("--count", options->count,
                     "Stop after N chips (a retry in the socket of a failed chip is that chip; skipped ones do not "
                     "count)")
        ->check(CLI::Range(1u, 1000000000u));
    AddDeviceChoice(*watch, context.choice, false);
    watch->callback([&context, options] { RunWatch(context, *options); });
}

}  // namespace zelv4
