#include "cli/run/CommandFirmware.h"

#include "cli/output/ImageWarnings.h"
#include "cli/output/OutputSink.h"
#include "core/FirmwareImage.h"
#include "core/OperationMessages.h"

namespace zelv4 {

Expected<CommandFirmware, CommandResult> LoadFirmware(const std::string& path, const GlobalOptions& options,
                                                      OutputSink* warnings)
{
    auto file = std::make_shared<LoadedImageFile>();
    ImageLoadOptions reading;
    reading.strict = !options.lenient;
    file->load = LoadImageFile(path, file->image, reading);
    const ImageLoadResult& loaded = file->load;
    nlohmann::json details = nlohmann::json::object();
    details["image_path"] = path;
    details["image_format"] = loaded.format == ImageFormat::Hex ? "hex" : "binary";
    if (loaded.fileLength)
        details["image_length"] = *loaded.fileLength;
    if (!loaded) {
        CommandResult refused =
            CommandResult::Failed(Error(ErrorCode::FileFailed, ISP_MSG_OPEN_FILE_ERROR), "image-open-failed");
        refused.Err(loaded.reason + "\n");
        refused.details = std::move(details);
        refused.details["reason"] = loaded.reason;
        return Unexpected(std::move(refused));
    }
    if (options.lenient && warnings != nullptr)
        if (const std::string said = ToleratedWarnings(loaded); !said.empty())
            warnings->Write(OutputStream::Err, said);
    const std::uint16_t checksum = ImageChecksum(file->image);
    details["tolerated"] = ToleratedJson(loaded);
    details["checksum"] = checksum;
    details["checksum_text"] = ChecksumText(checksum);
    return CommandFirmware{std::move(file), std::move(details)};
}

}  // namespace zelv4
