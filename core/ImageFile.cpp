#include "core/ImageFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/FileByteSource.h"
#include "core/HexReader.h"
#include "core/QuotedPath.h"
#include "core/Utf8Path.h"

namespace zelv4 {

namespace {

ImageLoadResult Failure(ImageLoadResult result, std::string reason)
{
    result.ok = false;
    result.reason = std::move(reason);
    return result;
}

// Why a path cannot be read as a firmware file without opening it, if it cannot:
// opening a FIFO waits for a writer, and a device has no end.
std::optional<std::string> NotAFile(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(FileSystemPath(path), error);
    if (error || status.type() == std::filesystem::file_type::regular)
        return std::nullopt;  // a missing file is reported by the open
    switch (status.type()) {
    case std::filesystem::file_type::directory:
        return "cannot read " + Quoted(path) + ": Is a directory";
    case std::filesystem::file_type::fifo:
        return "cannot read " + Quoted(path) + ": it is a FIFO, not a regular file";
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
        return "cannot read " + Quoted(path) + ": it is a device, not a regular file";
    case std::filesystem::file_type::socket:
        return "cannot read " + Quoted(path) + ": it is a socket, not a regular file";
    default:
        return "cannot read " + Quoted(path) + ": not a regular file";
    }
}

// Whether bytes begin like an Intel HEX file: blanks, then a record mark and a line
// of hex digits long enough for a record.
bool LooksLikeHexText(const std::uint8_t* bytes, std::size_t size)
{
    std::size_t i = 0;
    while (i < size && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    if (i == size || bytes[i] != HEX_RECORD_MARK)
        return false;
    std::size_t digits = 0;
    for (++i; i < size && i < HEX_SNIFF_LINE_MAX && IsHexDigit(bytes[i]); ++i)
        ++digits;
    const bool lineEnds = i == size || bytes[i] == '\r' || bytes[i] == '\n';
    return lineEnds && digits >= 10 && digits % 2 == 0;
}

// A name under which the file would be read as HEX: its extension in lower case,
// or ".hex" added.
std::string HexName(const std::string& path)
{
    const std::string name = PathString(FileSystemPath(path).filename());
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        std::string extension = name.substr(dot);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".hex")
            return name.substr(0, dot) + ".hex";
    }
    return name + ".hex";
}

ImageLoadResult LoadBinary(const std::string& path, FileByteSource& file, FirmwareImage& image,
                           const ImageLoadOptions& options, ImageLoadResult result)
{
    // A shorter file leaves the rest 0x00; the tolerant reading ignores anything
    // past 20480 bytes, the strict one refuses it.
    const std::size_t got = file.Read(image.data(), image.size());
    if (file.ReadFailed())
        return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
    result.fileLength = got;
    if (options.strict) {
        std::uint8_t extra = 0;
        if (got == 0)
            return Failure(result, Quoted(path) + " is empty");
        if (got == image.size() && file.Read(&extra, 1) == 1)
            return Failure(result, Quoted(path) + " is longer than the flash (" + std::to_string(ISP_IMAGE_SIZE) +
                                       " bytes); it is not an image of this chip");
        if (file.ReadFailed())
            return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
        if (LooksLikeHexText(image.data(), got))
            return Failure(result, Quoted(path) +
                                       " holds Intel HEX text, but its name does not contain \".hex\" or "
                                       "\".HEX\", so its text would be programmed as raw bytes; rename it "
                                       "to " +
                                       Quoted(HexName(path)));
    }
    result.ok = true;
    return result;
}

}  // namespace

ImageFormat ImageFormatForPath(const std::string& path)
{
    if (path.find(".hex") != std::string::npos || path.find(".HEX") != std::string::npos)
        return ImageFormat::Hex;
    return ImageFormat::Binary;
}

ImageLoadResult LoadImageFile(const std::string& path, FirmwareImage& image, const ImageLoadOptions& options)
{
    ImageLoadResult result;
    image.fill(0x00);
    result.format = ImageFormatForPath(path);
    if (path.empty())
        return Failure(result, "no file name given");
    if (const auto reason = NotAFile(path))
        return Failure(result, *reason);

    const bool hex = result.format == ImageFormat::Hex;
    FileByteSource file;
    // The strict reading takes one byte more, to tell a file longer than the flash.
    const std::size_t cap = hex ? HEX_MAX_INPUT_BYTES : BINARY_MAX_INPUT_BYTES + (options.strict ? 1 : 0);
    if (!file.Open(path, hex ? "r" : "rb", cap))
        return Failure(result, "cannot open " + Quoted(path) + ": " + file.Error());
    if (!hex)
        return LoadBinary(path, file, image, options, result);

    const HexReadResult read = ReadHexRecords(file, image, ISP_IMAGE_SIZE);
    result.tolerated = read.tolerated;
    if (file.ReadFailed())
        return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
    if (read.endRecord) {
        if (options.strict && read.firstProblem)
            return Failure(result, Quoted(path) + ", line " + std::to_string(read.firstProblem->line) + ": " +
                                       read.firstProblem->text);
        result.ok = true;
        return result;
    }
    if (file.HitLimit())
        return Failure(result, Quoted(path) + " has no end-of-file record in its first " +
                                   std::to_string(HEX_MAX_INPUT_BYTES) + " bytes");
    if (options.strict && read.firstProblem)
        return Failure(result, Quoted(path) + ", line " + std::to_string(read.firstProblem->line) + ": " +
                                   read.firstProblem->text);
    if (read.cutInRecord)
        return Failure(result, Quoted(path) + " ends in the middle of a record, without an end-of-file record "
                                              "(the HEX file is cut short)");
    return Failure(result, Quoted(path) + " has no end-of-file record (:00000001FF); the HEX file may be cut short");
}

}  // namespace zelv4
