#include "cli/commands/ImageCommand.h"

#include <CLI/CLI.hpp>

#include "cli/run/CommandFirmware.h"
#include "cli/run/OutputPaths.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

namespace {

// A full disk or an interrupted run leaves OUT as it was.
Expected<void> WriteImage(const std::string& path, const FirmwareImage& image)
{
    const Expected<std::unique_ptr<OutputFile>> file = SystemOutputFiles().Create(path);
    if (!file)
        return Unexpected(file.error());
    const Expected<void> written = (*file)->Write(image);
    return written ? (*file)->Commit() : written;
}

}  // namespace

void ImageCommand::AddOptions(CLI::App& command)
{
    command.add_option("FILE", m_file, "Firmware file (HEX when the name contains .hex or .HEX)")->required();
    command.add_option("-o,--output", m_output, "Where to write the image; - is standard output")->required();
}

CommandResult ImageCommand::Run(const GlobalOptions& options, CommandServices& services)
{
    if (std::optional<CommandResult> refused =
            CheckOutputPath(options, services.StdoutClosed(), "--output", m_output, true, RunInputs(options, m_file)))
        return *refused;
    Expected<CommandFirmware, CommandResult> firmware = LoadFirmware(m_file, options, &services.output);
    if (!firmware)
        return firmware.error();
    const Expected<void> written = WriteImage(m_output, firmware->file->image);
    CommandResult result =
        written ? CommandResult::Succeeded() : CommandResult::Failed(written.error(), "output-write-failed");
    result.details = std::move(firmware->details);
    result.details["output_path"] = m_output;
    return result;
}

}  // namespace zelv4
