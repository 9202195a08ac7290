#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/AllDevices.h"
#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/CliOperation.h"
#include "cli/CliPlatform.h"
#include "cli/DeviceChoice.h"
#include "cli/DeviceJob.h"
#include "cli/HexText.h"
#include "cli/ImageWarnings.h"
#include "cli/Interruption.h"
#include "cli/OperationReport.h"
#include "cli/OutputPaths.h"
#include "cli/TerminalProgress.h"
#include "core/IspConstants.h"
#include "core/IspOperations.h"
#include "device/DevicePlatform.h"
#include "device/HidChangeMonitor.h"
#include "device/IspDeviceConnection.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

namespace {

// A single-device command with several ISP devices attached and none chosen would
// have to guess: it lists them and refuses, as dfu-util does.
bool RefuseSeveral(CliContext& context, DevicePlatform& platform)
{
    const std::vector<AttachedIspDevice> attached = ListIspDevices(platform.Hid());
    if (attached.size() <= 1)
        return false;
    const std::string message = std::to_string(attached.size()) +
                                " ZEL-V4 ISP devices are attached; choose one with --port PATH or --device NODE, "
                                "or use --all:";
    context.err << message << "\n";
    PrintAttached(context.err, attached);
    context.report.SetOutcome("several-devices", message);
    context.report.Details()["isp_devices"] = AttachedJson(attached);
    context.exitCode = EXIT_USAGE;
    return true;
}

// The chosen device is not there: say what is.
void ExplainMissingChoice(CliContext& context, DevicePlatform& platform)
{
    const std::vector<AttachedIspDevice> attached = ListIspDevices(platform.Hid());
    context.err << "no ZEL-V4 ISP device " << context.choice.Describe()
                << (attached.empty() ? "; none is attached\n" : "; attached:\n");
    PrintAttached(context.err, attached);
    context.report.Details()["isp_devices"] = AttachedJson(attached);
}

// Runs one operation the way the window's button would, with the path argument as
// the file the window would hold or the save dialog would return.
void RunOperation(CliContext& context, Operation operation, const std::optional<std::string>& imagePath,
                  const std::optional<std::string>& dumpPath)
{
    // --all's result lines and summary are its result.
    if (context.choice.all && !RequireStdout(context))
        return;
    if (context.choice.all && dumpPath && dumpPath->find(PORT_PLACEHOLDER) == std::string::npos) {
        const std::string message =
            std::string("read --all needs ") + PORT_PLACEHOLDER + " in OUT, so that each device gets its own file";
        context.err << message << "\n";
        context.report.SetOutcome("usage-error", message);
        context.exitCode = EXIT_USAGE;
        return;
    }
    if (dumpPath && !CheckOutputPath(context, "OUT", *dumpPath, true, RunInputs(context)))
        return;
    // A firmware file the command line refuses never gets near the device, not even
    // for Auto, which would otherwise search and wait before loading it. With --all
    // the warnings are said here, once; a single run says them after its message.
    std::shared_ptr<LoadedImageFile> image;
    if (imagePath) {
        image = std::make_shared<LoadedImageFile>();
        if (!LoadImageForCommand(context, *imagePath, *image, context.choice.all))
            return;
    }
    DevicePlatform* platform = PlatformFor(context);
    if (platform == nullptr)
        return;
    // Ctrl-C stops the requests; the command still reports, and exits 130.
    const Interruption interruption(context.environment, 1);
    if (context.choice.all) {
        DeviceJob job;
        job.operation = operation;
        job.imagePath = imagePath.value_or(std::string());
        job.image = image;
        job.dumpPath = dumpPath;
        job.interruption = &interruption;
        RunOnAllDevices(context, *platform, job);
        return;
    }
    if (!context.choice.Chosen() && operation != &IspOperations::OnReconnect && RefuseSeveral(context, *platform))
        return;

    // A dump on standard output leaves no room there for the text.
    std::ostream& messages = dumpPath && IsStandardOutput(*dumpPath) ? context.err : context.out;
    CliOperation run(*platform, messages, context.err,
                     {context.choice.Selection(platform->Hid()), imagePath.value_or(std::string()), image, dumpPath,
                      interruption.After(1)});
    // Auto waits for the chip on the system's events.
    if (operation == &IspOperations::OnAuto)
        run.device.WatchArrivals();

    std::optional<TerminalProgress> progress;
    const bool terminal = context.environment.errIsTerminal && context.environment.errIsTerminal();
    if (!context.quiet && terminal && context.progressStream != nullptr) {
        progress.emplace(*context.progressStream, context.environment.errColumns);
        run.operations.SetProgressSink(&*progress);
    }
    const OperationResult result = (run.operations.*operation)();
    progress.reset();

    ExplainResult(result, context.lenient, context.err, !context.choice.Chosen());
    context.exitCode = result.outcome == OperationOutcome::Interrupted ? interruption.ExitCode() : ExitCodeFor(result);
    context.report.SetOutcome(OutcomeName(result), result.LastMessage());
    context.report.Details() = Details(result, result.deviceFound ? run.device.DevicePath() : std::string());
    if (result.deviceFound)
        if (const auto port = platform->Hid().PortPath(run.device.DevicePath()))
            context.report.Details()["port"] = *port;
    if (context.choice.Chosen() && !result.deviceFound &&
        (result.outcome == OperationOutcome::NoDevice || result.outcome == OperationOutcome::TimedOut))
        ExplainMissingChoice(context, *platform);
}

}  // namespace

void AddOperationCommands(CLI::App& app, CliContext& context)
{
    auto imagePath = std::make_shared<std::string>();
    auto dumpPath = std::make_shared<std::string>();

    CLI::App* erase = app.add_subcommand("erase", "Mass-erase the flash");
    AddDeviceChoice(*erase, context.choice, true);
    erase->callback([&context] { RunOperation(context, &IspOperations::OnMassErase, std::nullopt, std::nullopt); });

    CLI::App* write = app.add_subcommand("write", "Write FILE (Intel HEX or binary) to the flash; does not erase");
    write->add_option("FILE", *imagePath, "Firmware file")->required();
    AddDeviceChoice(*write, context.choice, true);
    write->callback(
        [&context, imagePath] { RunOperation(context, &IspOperations::OnWrite, *imagePath, std::nullopt); });

    CLI::App* verify = app.add_subcommand("verify", "Compare the flash with FILE");
    verify->add_option("FILE", *imagePath, "Firmware file")->required();
    AddDeviceChoice(*verify, context.choice, true);
    verify->callback(
        [&context, imagePath] { RunOperation(context, &IspOperations::OnVerify, *imagePath, std::nullopt); });

    CLI::App* read = app.add_subcommand("read", "Read the whole flash into OUT (20480 bytes, no header)");
    read->add_option("OUT", *dumpPath,
                     "Dump file; replaced only when the whole flash was read (- or a device, a FIFO: "
                     "written directly). With --all, {port} in OUT stands for each device's port")
        ->required();
    AddDeviceChoice(*read, context.choice, true);
    read->callback([&context, dumpPath] { RunOperation(context, &IspOperations::OnRead, std::nullopt, *dumpPath); });

    CLI::App* exitIsp = app.add_subcommand("exit-isp", "Send the chip out of ISP mode");
    AddDeviceChoice(*exitIsp, context.choice, true);
    exitIsp->callback([&context] { RunOperation(context, &IspOperations::OnExitIsp, std::nullopt, std::nullopt); });

    CLI::App* autoRun = app.add_subcommand(
        "auto", "Erase, write FILE, verify and leave ISP mode; waits up to 31 s for a chip that is attached "
                "but not yet in ISP mode");
    autoRun->add_option("FILE", *imagePath, "Firmware file")->required();
    AddDeviceChoice(*autoRun, context.choice, true);
    autoRun->callback(
        [&context, imagePath] { RunOperation(context, &IspOperations::OnAuto, *imagePath, std::nullopt); });

    CLI::App* reconnect = app.add_subcommand("reconnect", "Count the ZEL-V4 devices on the USB bus");
    AddDeviceChoice(*reconnect, context.choice, false);
    reconnect->callback([&context] {
        // The count is of the whole bus: a device choice would pretend otherwise.
        if (context.choice.Chosen()) {
            const std::string message = "reconnect counts the ZEL-V4 devices on the whole bus; it takes no " +
                                        std::string(!context.choice.port.empty() ? "--port" : "--device");
            context.err << message << "\n";
            context.report.SetOutcome("usage-error", message);
            context.exitCode = EXIT_USAGE;
            return;
        }
        RunOperation(context, &IspOperations::OnReconnect, std::nullopt, std::nullopt);
    });
}

}  // namespace zelv4
