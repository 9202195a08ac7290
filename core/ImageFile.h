#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/FirmwareImage.h"
#include "core/HexReader.h"

namespace zelv4 {

enum class ImageFormat { Hex, Binary };

// Hostile-input limits. A binary image is the first 20480 bytes of the file and no
// more is read. A full image as HEX is about 57 KB with 16-byte records and 270 KB
// with 1-byte records; past this much input without an end-of-file record the file
// is not firmware for this chip.
inline constexpr std::size_t BINARY_MAX_INPUT_BYTES = ISP_IMAGE_SIZE;
inline constexpr std::size_t HEX_MAX_INPUT_BYTES = 16 * 1024 * 1024;
// How much of a binary file is looked at to tell Intel HEX text in it.
inline constexpr std::size_t HEX_SNIFF_LINE_MAX = 600;

// The reader a path selects: HEX when it contains ".hex" or ".HEX" anywhere
// (case-sensitive, so ".Hex" is binary; a directory "x.hex/" counts too).
ImageFormat ImageFormatForPath(const std::string& path);

struct ImageLoadOptions {
    // Refuse anything that may make the image differ from what the file's author
    // meant: any HEX problem the tolerant reading lets through (with its line), an
    // empty binary file, one longer than the flash, and HEX text in a file whose
    // name makes it binary. The window reads tolerantly; the command line strictly.
    bool strict = false;
};

struct ImageLoadResult {
    bool ok = false;
    std::string reason;  // why the load failed, for a person to read
    ImageFormat format = ImageFormat::Binary;
    HexTolerance tolerated;
    // Binary: how many bytes of the file went into the image (at most 20480).
    std::optional<std::size_t> fileLength;

    explicit operator bool() const { return ok; }
};

// A file as one read left it, for runs that must all program the same bytes even
// if the file changes under them.
struct LoadedImageFile {
    FirmwareImage image{};
    ImageLoadResult load;
};

// Zero-fills the image, then fills it from the file: HEX when the path contains
// ".hex" or ".HEX", raw binary otherwise. Only regular files are read, so a FIFO
// or a device cannot stall or feed the load. A failed result means the caller
// shows "Open file error !!".
ImageLoadResult LoadImageFile(const std::string& path, FirmwareImage& image, const ImageLoadOptions& options = {});

}  // namespace zelv4
