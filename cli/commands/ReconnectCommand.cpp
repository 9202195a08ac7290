#include "cli/commands/ReconnectCommand.h"

#include "cli/run/Interruption.h"
#include "cli/run/Machine.h"
#include "cli/run/SingleRun.h"

namespace zelv4 {

void ReconnectCommand::AddOptions(CLI::App& command)
{
    AddDeviceChoice(command, m_choice, false);
}

CommandResult ReconnectCommand::Run(const GlobalOptions& options, CommandServices& services)
{
    // The count is of the whole bus: a device choice would pretend otherwise.
    if (m_choice.Chosen())
        return CommandResult::Refused("reconnect counts the ZEL-V4 devices on the whole bus; it takes no " +
                                      std::string(!m_choice.port.empty() ? "--port" : "--device"));
    const Expected<DevicePlatform*, CommandResult> platform = services.machine.Platform();
    if (!platform)
        return platform.error();
    const Interruption interruption(services.environment, 1);
    OperationRequest request;
    request.operation = &IspOperations::OnReconnect;
    return RunOnOneDevice(**platform, request, m_choice, options, services, interruption, nlohmann::json::object());
}

}  // namespace zelv4
