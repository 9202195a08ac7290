#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "CliCommands.h"
#include "CliContext.h"
#include "CliExitCodes.h"
#include "CliPlatform.h"
#include "CliWindow.h"
#include "DeviceAccessAdapter.h"
#include "DialogFields.h"
#include "IspDeviceConnection.h"
#include "IspOperations.h"
#include "IspReportBuffers.h"

namespace zelv4 {

namespace {

using Operation = OperationResult (IspOperations::*)();

std::string Hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// What the message box alone does not say, for someone at a terminal.
void ExplainFailure(const OperationResult& result, std::ostream& err)
{
    if (result.difference) {
        err << "first difference at " << Hex(static_cast<unsigned>(result.difference->address), 4) << ": chip "
            << Hex(result.difference->chipByte, 2) << ", file " << Hex(result.difference->fileByte, 2) << "\n";
    }
    if (result.outcome == OperationOutcome::ImageOpenFailed && result.image && !result.image->reason.empty())
        err << result.image->reason << "\n";
    if (result.outcome == OperationOutcome::DumpOpenFailed)
        err << "cannot create " << result.dumpPath << "\n";
    if (result.outcome == OperationOutcome::DumpWriteFailed)
        err << "cannot write " << result.dumpPath << "\n";
    if (!result.deniedPaths.empty()) {
        for (const std::string& path : result.deniedPaths)
            err << "permission denied: " << path << "\n";
        err << "The udev rule 70-zelv4-writer.rules grants access; `zelv4-isp list` tells how to install it.\n";
    }
}

// Runs one operation the way the window's button would, with the path argument as
// the file the window would hold or the save dialog would return.
void RunOperation(CliContext& context, Operation operation, const std::optional<std::string>& imagePath,
                  const std::optional<std::string>& dumpPath)
{
    DevicePlatform* platform = PlatformFor(context);
    if (platform == nullptr) {
        context.err << "No device backend on this system.\n";
        context.exitCode = EXIT_NO_DEVICE;
        return;
    }
    CliWindow window(context.out, context.err);
    window.SetDialogAnswer(dumpPath);
    DialogFields fields;
    fields.m_strFile = imagePath.value_or(std::string());
    IspReportBuffers reports;
    DeviceAccessAdapter device(*platform);
    SetPlainMessageHandler([&window](const std::string& text) { window.MessageBox(text, MessageIcon::None); });

    IspOperations operations(window, fields, reports, device);
    const OperationResult result = (operations.*operation)();
    SetPlainMessageHandler(nullptr);

    ExplainFailure(result, context.err);
    context.exitCode = ExitCodeFor(result);
}

}  // namespace

void AddOperationCommands(CLI::App& app, CliContext& context)
{
    auto imagePath = std::make_shared<std::string>();
    auto dumpPath = std::make_shared<std::string>();

    app.add_subcommand("erase", "Mass-erase the flash")->callback([&context] {
        RunOperation(context, &IspOperations::OnMassErase, std::nullopt, std::nullopt);
    });

    CLI::App* write = app.add_subcommand("write", "Write FILE (Intel HEX or binary) to the flash; does not erase");
    write->add_option("FILE", *imagePath, "Firmware file")->required();
    write->callback([&context, imagePath] {
        RunOperation(context, &IspOperations::OnWrite, *imagePath, std::nullopt);
    });

    CLI::App* verify = app.add_subcommand("verify", "Compare the flash with FILE");
    verify->add_option("FILE", *imagePath, "Firmware file")->required();
    verify->callback([&context, imagePath] {
        RunOperation(context, &IspOperations::OnVerify, *imagePath, std::nullopt);
    });

    CLI::App* read = app.add_subcommand("read", "Read the whole flash into OUT (20480 bytes, no header)");
    read->add_option("OUT", *dumpPath, "Dump file; created or truncated")->required();
    read->callback([&context, dumpPath] {
        RunOperation(context, &IspOperations::OnRead, std::nullopt, *dumpPath);
    });

    app.add_subcommand("exit-isp", "Send the chip out of ISP mode")->callback([&context] {
        RunOperation(context, &IspOperations::OnExitIsp, std::nullopt, std::nullopt);
    });

    CLI::App* autoRun = app.add_subcommand(
        "auto", "Erase, write FILE, verify and leave ISP mode; waits up to 31 s for a chip that is attached "
                "but not yet in ISP mode");
    autoRun->add_option("FILE", *imagePath, "Firmware file")->required();
    autoRun->callback([&context, imagePath] {
        RunOperation(context, &IspOperations::OnAuto, *imagePath, std::nullopt);
    });

    app.add_subcommand("reconnect", "Count the ZEL-V4 devices on the USB bus")->callback([&context] {
        RunOperation(context, &IspOperations::OnReconnect, std::nullopt, std::nullopt);
    });
}

}  // namespace zelv4
