#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "cli/ImageWarnings.h"
#include "cli/OutputPaths.h"
#include "core/FirmwareImage.h"
#include "core/ImageFile.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {

namespace {

// Writes the image in place of OUT only once all of it is on the disk, so a full
// disk or an interrupted run leaves OUT as it was; a stream gets it directly.
Expected<void> WriteImage(const std::string& path, const FirmwareImage& image)
{
    const Expected<std::unique_ptr<OutputFile>> file = SystemOutputFiles().Create(path);
    if (!file)
        return Unexpected(file.error());
    const Expected<void> written = (*file)->Write(image);
    return written ? (*file)->Commit() : written;
}

}  // namespace

void AddImageCommands(CLI::App& app, CliContext& context)
{
    auto checksumFile = std::make_shared<std::string>();
    CLI::App* checksum = app.add_subcommand("checksum", "Print the image checksum as the window shows it");
    checksum->add_option("FILE", *checksumFile, "Firmware file (HEX when the name contains .hex or .HEX)")->required();
    checksum->callback([checksumFile, &context] {
        if (!RequireStdout(context))
            return;
        LoadedImageFile loaded;
        if (!LoadImageForCommand(context, *checksumFile, loaded, true))
            return;
        const FirmwareImage& image = loaded.image;
        const std::string text = ChecksumText(ImageChecksum(image));
        context.out << text << "\n";
        context.report.SetOutcome("succeeded", text);
    });

    auto imageFile = std::make_shared<std::string>();
    auto outputFile = std::make_shared<std::string>();
    CLI::App* imageCommand = app.add_subcommand("image", "Write the exact 20480-byte image that Write would send");
    imageCommand->add_option("FILE", *imageFile, "Firmware file (HEX when the name contains .hex or .HEX)")->required();
    imageCommand->add_option("-o,--output", *outputFile, "Where to write the image; - is standard output")->required();
    imageCommand->callback([imageFile, outputFile, &context] {
        if (!CheckOutputPath(context, "--output", *outputFile, true, RunInputs(context, *imageFile)))
            return;
        LoadedImageFile loaded;
        if (!LoadImageForCommand(context, *imageFile, loaded, true))
            return;
        const FirmwareImage& image = loaded.image;
        context.report.Details()["output_path"] = *outputFile;
        if (const Expected<void> written = WriteImage(*outputFile, image); !written) {
            const std::string& error = written.error().message;
            context.err << error << "\n";
            context.exitCode = EXIT_FILE;
            context.report.SetOutcome("output-write-failed", error);
        } else {
            context.report.SetOutcome("succeeded", "");
        }
    });
}

}  // namespace zelv4
