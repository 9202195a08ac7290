#include "cli/commands/DeviceOperationCommand.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "cli/record/Recording.h"
#include "cli/run/AllDevicesRun.h"
#include "cli/run/CommandFirmware.h"
#include "cli/run/Interruption.h"
#include "cli/run/Machine.h"
#include "cli/run/OutputPaths.h"
#include "cli/run/SingleRun.h"

namespace zelv4 {

namespace {

Operation OperationOf(DeviceOperationCommand::Kind kind)
{
    switch (kind) {
    case DeviceOperationCommand::Kind::Erase:
        return &IspOperations::OnMassErase;
    case DeviceOperationCommand::Kind::Write:
        return &IspOperations::OnWrite;
    case DeviceOperationCommand::Kind::Verify:
        return &IspOperations::OnVerify;
    case DeviceOperationCommand::Kind::Read:
        return &IspOperations::OnRead;
    case DeviceOperationCommand::Kind::ExitIsp:
        return &IspOperations::OnExitIsp;
    case DeviceOperationCommand::Kind::Auto:
        break;
    }
    return &IspOperations::OnAuto;
}

// The operation as the record names it; empty for those that keep none.
const char* RecordName(DeviceOperationCommand::Kind kind)
{
    switch (kind) {
    case DeviceOperationCommand::Kind::Write:
        return "write";
    case DeviceOperationCommand::Kind::Verify:
        return "verify";
    case DeviceOperationCommand::Kind::Read:
        return "read";
    case DeviceOperationCommand::Kind::Auto:
        return "auto";
    case DeviceOperationCommand::Kind::Erase:
    case DeviceOperationCommand::Kind::ExitIsp:
        break;
    }
    return "";  // keeps no record
}

bool TakesFirmware(DeviceOperationCommand::Kind kind)
{
    return kind == DeviceOperationCommand::Kind::Write || kind == DeviceOperationCommand::Kind::Verify ||
           kind == DeviceOperationCommand::Kind::Auto;
}

}  // namespace

void DeviceOperationCommand::AddOptions(CLI::App& command)
{
    if (TakesFirmware(m_kind))
        command.add_option("FILE", m_path, "Firmware file")->required();
    if (m_kind == Kind::Read)
        command
            .add_option("OUT", m_path,
                        "Dump file; replaced only when the whole flash was read (- or a device, a FIFO: written "
                        "directly). With --all, {port} in OUT stands for each device's port")
            ->required();
    AddDeviceChoice(command, m_choice, true);
    if (*RecordName(m_kind) != '\0')
        AddRecordingChoice(command, m_recording, m_kind == Kind::Write || m_kind == Kind::Auto);
}

CommandResult DeviceOperationCommand::Run(const GlobalOptions& options, CommandServices& services)
{
    OperationRequest request;
    request.operation = OperationOf(m_kind);
    if (m_kind == Kind::Read)
        request.dumpPath = m_path;
    // --all's result lines and summary are its result.
    if (m_choice.all && services.StdoutClosed())
        return CommandResult::StdoutClosed();
    if (m_choice.all && request.dumpPath && request.dumpPath->find(PORT_PLACEHOLDER) == std::string::npos)
        return CommandResult::Refused(std::string("read --all needs ") + PORT_PLACEHOLDER +
                                      " in OUT, so that each device gets its own file");
    if (request.dumpPath)
        if (std::optional<CommandResult> refused =
                CheckOutputPath(options, services.StdoutClosed(), "OUT", *request.dumpPath, true, RunInputs(options)))
            return *refused;
    // A firmware file the command line refuses never gets near the device, not even
    // for Auto, which would otherwise search and wait before loading it. With --all
    // the warnings are said here, once; a single run says them after its message.
    nlohmann::json details = nlohmann::json::object();
    if (TakesFirmware(m_kind)) {
        Expected<CommandFirmware, CommandResult> firmware =
            LoadFirmware(m_path, options, m_choice.all ? &services.output : nullptr);
        if (!firmware)
            return firmware.error();
        request.imagePath = m_path;
        request.image = firmware->file;
        details = std::move(firmware->details);
    }
    // The record is opened and the serial field checked before any device.
    Expected<Recording, CommandResult> recording = StartRecording(m_recording, RecordName(m_kind), request);
    if (!recording)
        return std::move(recording.error()).KeepingDetails(std::move(details));
    Expected<DevicePlatform*, CommandResult> platform = services.machine.Platform();
    if (!platform)
        return std::move(platform.error()).KeepingDetails(std::move(details));
    // Ctrl-C stops the requests; the command still reports, and exits 130.
    const Interruption interruption(services.environment, 1);
    CommandResult ended =
        m_choice.all ? RunOnAllDevices(**platform, request, interruption, std::move(details), recording->hooks.get())
                     : RunOnOneDevice(**platform, request, m_choice, options, services, interruption,
                                      std::move(details), recording->hooks.get());
    if (ended.details.is_object())
        ended.details.update(recording->details);
    return ended;
}

}  // namespace zelv4
