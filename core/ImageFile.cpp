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

bool IsLineBlank(std::uint8_t c)
{
    return c == ' ' || c == '\t';
}

// The first bytes of a file as ASCII text, whatever it was saved as: a UTF-8
// byte-order mark is dropped, and UTF-16 (with or without its mark; a NUL beside
// every character) is narrowed. `utf16` tells which it was.
std::string FirstText(const std::uint8_t* bytes, std::size_t size, bool& utf16)
{
    size = std::min(size, HEX_SNIFF_LINE_MAX * 2);
    std::size_t i = 0;
    bool bigEndian = false;
    utf16 = false;
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        utf16 = true;
        bigEndian = bytes[0] == 0xFE;
        i = 2;
    } else if (size >= 2 && (bytes[0] == 0) != (bytes[1] == 0)) {
        utf16 = true;
        bigEndian = bytes[0] == 0;
    } else if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        i = 3;
    }
    std::string text;
    if (!utf16)
        return std::string(bytes + i, bytes + size);
    for (; i + 1 < size; i += 2) {
        const std::uint8_t high = bigEndian ? bytes[i] : bytes[i + 1];
        const std::uint8_t low = bigEndian ? bytes[i + 1] : bytes[i];
        if (high != 0 || low == 0 || low >= 0x80)
            break;  // not ASCII: the line test below fails or has what it needs
        text.push_back(static_cast<char>(low));
    }
    return text;
}

// Whether bytes begin like an Intel HEX file: blanks, then a record mark and a line
// of hex digits long enough for a record, then nothing but blanks to its end.
bool LooksLikeHexText(const std::uint8_t* bytes, std::size_t size, bool& utf16)
{
    const std::string text = FirstText(bytes, size, utf16);
    std::size_t i = 0;
    while (i < text.size() && (IsLineBlank(text[i]) || text[i] == '\r' || text[i] == '\n'))
        ++i;
    if (i == text.size() || text[i] != HEX_RECORD_MARK)
        return false;
    std::size_t digits = 0;
    for (++i; i < text.size() && i < HEX_SNIFF_LINE_MAX && IsHexDigit(static_cast<unsigned char>(text[i])); ++i)
        ++digits;
    while (i < text.size() && i < HEX_SNIFF_LINE_MAX && IsLineBlank(text[i]))
        ++i;
    const bool lineEnds = i == text.size() || text[i] == '\r' || text[i] == '\n';
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
    for (std::size_t i = 0; i < got; ++i)
        result.supplied.set(i);
    std::uint8_t extra = 0;
    BinaryTolerance& tolerated = result.binaryTolerated;
    tolerated.empty = got == 0;
    tolerated.longerThanFlash = got == image.size() && file.Read(&extra, 1) == 1;
    if (file.ReadFailed())
        return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
    bool utf16 = false;
    tolerated.hexText = LooksLikeHexText(image.data(), got, utf16);
    if (options.strict) {
        if (tolerated.empty)
            return Failure(result, Quoted(path) + " is empty");
        if (tolerated.longerThanFlash)
            return Failure(result, Quoted(path) + " is longer than the flash (" + std::to_string(ISP_IMAGE_SIZE) +
                                       " bytes); it is not an image of this chip");
        if (tolerated.hexText)
            return Failure(result, Quoted(path) +
                                       " holds Intel HEX text, but its name does not contain \".hex\" or "
                                       "\".HEX\", so its text would be programmed as raw bytes; rename it "
                                       "to " +
                                       Quoted(HexName(path)) +
                                       (utf16 ? ", saved as ASCII or UTF-8 (it is UTF-16 text)" : ""));
    }
    result.ok = true;
    return result;
}

// A strict reading's refusal of a HEX file, naming the line where it makes sense.
std::string HexRefusal(const std::string& path, const HexProblem& problem)
{
    if (problem.kind == HexProblemKind::Utf16Text)
        return Quoted(path) + " is UTF-16 text; Intel HEX must be saved as ASCII or UTF-8";
    return Quoted(path) + ", line " + std::to_string(problem.line) + ": " + problem.text;
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
    // One byte more than the flash tells a file longer than it.
    const std::size_t cap = hex ? HEX_MAX_INPUT_BYTES : BINARY_MAX_INPUT_BYTES + 1;
    if (!file.Open(path, hex ? "r" : "rb", cap))
        return Failure(result, "cannot open " + Quoted(path) + ": " + file.Error());
    if (!hex)
        return LoadBinary(path, file, image, options, result);

    const HexReadResult read = ReadHexRecords(file, image, ISP_IMAGE_SIZE);
    result.tolerated = read.tolerated;
    result.supplied = read.supplied;
    if (file.ReadFailed())
        return Failure(result, "cannot read " + Quoted(path) + ": " + file.Error());
    if (read.endRecord) {
        if (options.strict && read.firstProblem)
            return Failure(result, HexRefusal(path, *read.firstProblem));
        result.ok = true;
        return result;
    }
    if (file.HitLimit())
        return Failure(result, Quoted(path) + " has no end-of-file record in its first " +
                                   std::to_string(HEX_MAX_INPUT_BYTES) + " bytes");
    if (read.firstProblem && (options.strict || read.firstProblem->kind == HexProblemKind::Utf16Text))
        return Failure(result, HexRefusal(path, *read.firstProblem));
    if (read.cutInRecord)
        return Failure(result, Quoted(path) + " ends in the middle of a record, without an end-of-file record "
                                              "(the HEX file is cut short)");
    return Failure(result, Quoted(path) + " has no end-of-file record (:00000001FF); the HEX file may be cut short");
}

}  // namespace zelv4
