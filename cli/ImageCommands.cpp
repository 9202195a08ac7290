#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/ImageWarnings.h"
#include "core/FirmwareImage.h"
#include "core/ImageFile.h"

namespace zelv4 {

namespace {

bool LoadForCommand(const std::string& path, FirmwareImage& image, CliContext& context)
{
    const ImageLoadResult loaded = LoadImageFile(path, image);
    nlohmann::json& details = context.report.Details();
    details["image_path"] = path;
    if (!loaded) {
        context.err << "Open file error !!\n" << loaded.reason << "\n";
        context.exitCode = EXIT_FILE;
        context.report.SetOutcome("image-open-failed", "Open file error !!");
        details["reason"] = loaded.reason;
        return false;
    }
    WarnTolerated(loaded.tolerated, context.err);
    const std::uint16_t checksum = ImageChecksum(image);
    details["image_format"] = loaded.format == ImageFormat::Hex ? "hex" : "binary";
    details["tolerated"] = ToleratedJson(loaded.tolerated);
    details["checksum"] = checksum;
    details["checksum_text"] = ChecksumText(checksum);
    return true;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Writes the image and reports any failure, including one that only shows when
// the data is flushed (a full disk, /dev/full).
bool WriteImage(const std::string& path, const FirmwareImage& image, std::string& error)
{
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = std::string("cannot create \"") + path + "\": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    const bool written =
        std::fwrite(image.data(), 1, image.size(), file.get()) == image.size() && std::fflush(file.get()) == 0;
    const int writeErrno = errno;
    errno = 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
        const int code = !written ? writeErrno : errno;
        error = std::string("cannot write \"") + path + "\": " + (code != 0 ? std::strerror(code) : "write error");
        return false;
    }
    return true;
}

}  // namespace

void AddImageCommands(CLI::App& app, CliContext& context)
{
    auto checksumFile = std::make_shared<std::string>();
    CLI::App* checksum = app.add_subcommand("checksum", "Print the image checksum as the window shows it");
    checksum->add_option("FILE", *checksumFile, "Firmware file (HEX when the name contains .hex or .HEX)")->required();
    checksum->callback([checksumFile, &context] {
        FirmwareImage image;
        if (!LoadForCommand(*checksumFile, image, context))
            return;
        const std::string text = ChecksumText(ImageChecksum(image));
        context.out << text << "\n";
        context.report.SetOutcome("succeeded", text);
    });

    auto imageFile = std::make_shared<std::string>();
    auto outputFile = std::make_shared<std::string>();
    CLI::App* imageCommand = app.add_subcommand("image", "Write the exact 20480-byte image that Write would send");
    imageCommand->add_option("FILE", *imageFile, "Firmware file (HEX when the name contains .hex or .HEX)")->required();
    imageCommand->add_option("-o,--output", *outputFile, "Where to write the image")->required();
    imageCommand->callback([imageFile, outputFile, &context] {
        FirmwareImage image;
        if (!LoadForCommand(*imageFile, image, context))
            return;
        std::string error;
        context.report.Details()["output_path"] = *outputFile;
        if (!WriteImage(*outputFile, image, error)) {
            context.err << error << "\n";
            context.exitCode = EXIT_FILE;
            context.report.SetOutcome("output-write-failed", error);
        } else {
            context.report.SetOutcome("succeeded", "");
        }
    });
}

}  // namespace zelv4
