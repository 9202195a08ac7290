#include "cli/commands/WatchCommand.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "cli/output/ChipLog.h"
#include "cli/output/ChipRunText.h"
#include "cli/record/Recording.h"
#include "cli/run/CommandFirmware.h"
#include "cli/run/Interruption.h"
#include "cli/run/Machine.h"
#include "cli/run/OutputPaths.h"
#include "cli/run/ProductionStation.h"
#include "core/FirmwareImage.h"
#include "device/DevicePlatform.h"

namespace zelv4 {

namespace {

Operation OperationNamed(const std::string& name)
{
    if (name == "write")
        return &IspOperations::OnWrite;
    if (name == "verify")
        return &IspOperations::OnVerify;
    return &IspOperations::OnAuto;
}

}  // namespace

void WatchCommand::AddOptions(CLI::App& command)
{
    command.add_option("FILE", m_imagePath, "Firmware file")->required();
    command.add_option("--op", m_operation, "What to do with each chip (default auto)")
        ->check(CLI::IsMember({"auto", "write", "verify"}));
    command.add_option("--log", m_logPath,
                       "Append one JSON object per chip to FILE (JSON Lines), written at once; a log that cannot "
                       "be opened stops the station before any chip");
    command
        .add_option("--count", m_count,
                    "Stop after N chips (a retry in the socket of a failed chip is that chip; skipped ones do not "
                    "count)")
        ->check(CLI::Range(1u, 1000000000u));
    AddDeviceChoice(command, m_choice, false);
    AddRecordingChoice(command, m_recording, true);
}

CommandResult WatchCommand::Run(const GlobalOptions& options, CommandServices& services)
{
    // A line per chip and the tally are what a station is for.
    if (services.StdoutClosed())
        return CommandResult::StdoutClosed();
    // The image is read once, strictly unless --lenient, before any chip is touched.
    Expected<CommandFirmware, CommandResult> firmware = LoadFirmware(m_imagePath, options, &services.output);
    if (!firmware)
        return firmware.error();
    nlohmann::json details = std::move(firmware->details);
    if (!m_logPath.empty())
        if (std::optional<CommandResult> refused = CheckOutputPath(options, services.StdoutClosed(), "--log", m_logPath,
                                                                   false, RunInputs(options, m_imagePath)))
            return refused->KeepingDetails(std::move(details));
    std::unique_ptr<ChipLog> log;
    if (!m_logPath.empty()) {
        Expected<std::unique_ptr<ChipLog>> opened = ChipLog::Open(m_logPath);
        if (!opened)
            return CommandResult::Failed(opened.error(), "log-error").KeepingDetails(std::move(details));
        log = std::move(*opened);
    }
    if (!m_recording.serial.empty() && m_operation == "verify")
        return CommandResult::Refused("--serial needs --op auto or write: verify would compare each chip with a new "
                                      "number")
            .KeepingDetails(std::move(details));
    StationOptions station;
    station.request.operation = OperationNamed(m_operation);
    station.request.imagePath = m_imagePath;
    station.request.image = firmware->file;
    // The record is opened and the serial field checked before any chip.
    Expected<Recording, CommandResult> recording = StartRecording(m_recording, m_operation, station.request);
    if (!recording)
        return std::move(recording.error()).KeepingDetails(std::move(details));
    Expected<DevicePlatform*, CommandResult> platform = services.machine.Platform();
    if (!platform)
        return std::move(platform.error()).KeepingDetails(std::move(details));

    station.chip.hooks = recording->hooks.get();
    station.operationName = m_operation;
    const std::uint16_t checksum = ImageChecksum(firmware->file->image);
    station.checksum = checksum;
    station.count = m_count;
    station.selection = m_choice.Selection((*platform)->Hid());
    station.log = log.get();
    // The first Ctrl-C lets the chips in progress finish; the second abandons them,
    // each still reported and logged; a third ends the program at once.
    const Interruption interruption(services.environment, 2);
    station.stopRequested = interruption.After(1);
    station.chip.interruption = &interruption;
    station.chip.stopAt = 2;

    services.output.Write(OutputStream::Out, "Watching for ZEL-V4 ISP devices: " + m_operation + " " + m_imagePath +
                                                 " (checksum " + ChecksumText(checksum) + ") on each as it appears" +
                                                 (m_count ? "; stops after " + std::to_string(*m_count) +
                                                                (*m_count == 1 ? " chip" : " chips")
                                                          : std::string()) +
                                                 "; Ctrl-C stops\n");
    ProductionStation line(**platform, services.output, std::move(station));
    const int stationCode = line.Run();
    const int code = interruption.Count() >= 2 ? interruption.ExitCode() : stationCode;

    const unsigned chips = line.Programmed();
    const std::string tally =
        "Tally: " + std::to_string(chips) + (chips == 1 ? " chip, " : " chips, ") + line.CountsText(true);
    CommandResult ended = CommandResult::Tally(code, tally);
    ended.Out(tally + "\n");
    ended.Out(SpoiledSerialsText(line.SpoiledSerials()));
    ended.details = std::move(details);
    ended.details["operation"] = m_operation;
    ended.details["image_path"] = m_imagePath;
    ended.details["checksum"] = checksum;
    ended.details["log_path"] = m_logPath.empty() ? nlohmann::json(nullptr) : nlohmann::json(m_logPath);
    ended.details["log_failed"] = line.LogFailed();
    ended.details["passed"] = line.Passed();
    ended.details["failed"] = line.Failed();
    ended.details["skipped"] = line.Skipped();
    ended.details["interrupted"] = line.Interrupted();
    ended.details["retried"] = line.Retried();
    ended.details["chips"] = nlohmann::json(line.Chips());
    if (recording->hooks) {
        ended.details.update(recording->details);
        ended.details["record_failed"] = line.RecordFailed();
        ended.details["spoiled_serials"] = line.SpoiledSerials();
    }
    return ended;
}

}  // namespace zelv4
