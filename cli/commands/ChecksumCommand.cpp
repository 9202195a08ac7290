#include "cli/commands/ChecksumCommand.h"

#include <CLI/CLI.hpp>

#include "cli/run/CommandFirmware.h"
#include "core/FirmwareImage.h"

namespace zelv4 {

void ChecksumCommand::AddOptions(CLI::App& command)
{
    command.add_option("FILE", m_file, "Firmware file (HEX when the name contains .hex or .HEX)")->required();
}

CommandResult ChecksumCommand::Run(const GlobalOptions& options, CommandServices& services)
{
    if (services.StdoutClosed())
        return CommandResult::StdoutClosed();
    Expected<CommandFirmware, CommandResult> firmware = LoadFirmware(m_file, options, &services.output);
    if (!firmware)
        return firmware.error();
    const std::string text = ChecksumText(ImageChecksum(firmware->file->image));
    CommandResult result = CommandResult::Succeeded(text);
    result.Out(text + "\n");
    result.details = std::move(firmware->details);
    return result;
}

}  // namespace zelv4
