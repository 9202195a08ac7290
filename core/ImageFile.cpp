#include "core/ImageFile.h"

#include "core/FileByteSource.h"
#include "core/HexReader.h"

namespace zelv4 {

namespace {

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

ImageLoadResult Failure(ImageLoadResult result, std::string reason)
{
    result.ok = false;
    result.reason = std::move(reason);
    return result;
}

}  // namespace

ImageFormat ImageFormatForPath(const std::string& path)
{
    if (path.find(".hex") != std::string::npos || path.find(".HEX") != std::string::npos)
        return ImageFormat::Hex;
    return ImageFormat::Binary;
}

ImageLoadResult LoadImageFile(const std::string& path, FirmwareImage& image)
{
    ImageLoadResult result;
    image.fill(0x00);
    result.format = ImageFormatForPath(path);
    if (path.empty())
        return Failure(result, "no file name given");

    const bool hex = result.format == ImageFormat::Hex;
    FileByteSource file;
    if (!file.Open(path, hex ? "r" : "rb", hex ? HEX_MAX_INPUT_BYTES : BINARY_MAX_INPUT_BYTES))
        return Failure(result, "cannot open " + Quoted(path) + ": " + file.Error());

    if (!hex) {
        // A shorter file leaves the rest 0x00; anything past 20480 bytes is ignored.
        file.Read(image.data(), image.size());
        if (file.ReadFailed())
            return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
        result.ok = true;
        return result;
    }

    const HexReadResult read = ReadHexRecords(file, image, ISP_IMAGE_SIZE);
    result.tolerated = read.tolerated;
    if (read.endRecord) {
        result.ok = true;
        return result;
    }
    if (file.ReadFailed())
        return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
    if (file.HitLimit())
        return Failure(result, Quoted(path) + " has no end-of-file record in its first " +
                                   std::to_string(HEX_MAX_INPUT_BYTES) + " bytes");
    if (read.cutInRecord)
        return Failure(result, Quoted(path) + " ends in the middle of a record, without an end-of-file record "
                                              "(the HEX file is cut short)");
    return Failure(result, Quoted(path) + " has no end-of-file record (:00000001FF); the HEX file may be cut short");
}

}  // namespace zelv4
