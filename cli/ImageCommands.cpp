#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "CliCommands.h"
#include "CliContext.h"
#include "FirmwareImage.h"
#include "ImageFile.h"

namespace zelv4 {

namespace {

constexpr int EXIT_FILE_ERROR = 3;

// One line per kind of thing the HEX reader let through: the image still loads,
// but the user should know it may not be what the file's author meant.
void WarnTolerated(const HexTolerance& tolerated, std::ostream& err)
{
    if (tolerated.badChecksumRecords != 0)
        err << "warning: " << tolerated.badChecksumRecords
            << " data record(s) with a wrong checksum were loaded as they are\n";
    if (tolerated.nonHexCharacters != 0)
        err << "warning: " << tolerated.nonHexCharacters
            << " character(s) inside records were not hex digits and were read as 0\n";
    if (tolerated.droppedBytes != 0)
        err << "warning: " << tolerated.droppedBytes << " data byte(s) addressed beyond 0x"
            << std::hex << std::uppercase << (ISP_IMAGE_SIZE - 1) << std::dec << std::nouppercase
            << " were dropped\n";
    if (tolerated.ignoredRecords != 0)
        err << "warning: " << tolerated.ignoredRecords
            << " record(s) of types other than data and end-of-file were ignored; "
               "extended addresses are not applied\n";
}

bool LoadForCommand(const std::string& path, FirmwareImage& image, CliContext& context)
{
    const ImageLoadResult loaded = LoadImageFile(path, image);
    if (!loaded) {
        context.err << "Open file error !!\n" << loaded.reason << "\n";
        context.exitCode = EXIT_FILE_ERROR;
        return false;
    }
    WarnTolerated(loaded.tolerated, context.err);
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
    const bool written = std::fwrite(image.data(), 1, image.size(), file.get()) == image.size() &&
                         std::fflush(file.get()) == 0;
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
    checksum->add_option("FILE", *checksumFile, "Firmware file (HEX when the name contains .hex or .HEX)")
        ->required();
    checksum->callback([checksumFile, &context] {
        FirmwareImage image;
        if (!LoadForCommand(*checksumFile, image, context))
            return;
        context.out << ChecksumText(ImageChecksum(image)) << "\n";
    });

    auto imageFile = std::make_shared<std::string>();
    auto outputFile = std::make_shared<std::string>();
    CLI::App* imageCommand = app.add_subcommand("image", "Write the exact 20480-byte image that Write would send");
    imageCommand->add_option("FILE", *imageFile, "Firmware file (HEX when the name contains .hex or .HEX)")
        ->required();
    imageCommand->add_option("-o,--output", *outputFile, "Where to write the image")->required();
    imageCommand->callback([imageFile, outputFile, &context] {
        FirmwareImage image;
        if (!LoadForCommand(*imageFile, image, context))
            return;
        std::string error;
        if (!WriteImage(*outputFile, image, error)) {
            context.err << error << "\n";
            context.exitCode = EXIT_FILE_ERROR;
        }
    });
}

}  // namespace zelv4
