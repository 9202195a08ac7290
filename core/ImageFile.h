#pragma once

#include <bitset>
#include <cstddef>
#include <optional>
#include <string>

#include "core/FirmwareImage.h"
#include "core/HexReader.h"

namespace zelv4 {

enum class ImageFormat { Hex, Binary };

// Hostile-input limits. A binary image is the first 20480 bytes of the file; one
// byte more is read, to tell a longer file. A full image as HEX is about 57 KB with 16-byte records and 270 KB
// with 1-byte records; past this much input without an end-of-file record the file
// is not firmware for this chip.
inline constexpr std::size_t BINARY_MAX_INPUT_BYTES = ISP_IMAGE_SIZE;
inline constexpr std::size_t HEX_MAX_INPUT_BYTES = 16 * 1024 * 1024;
// How many characters of a binary file are looked at to tell Intel HEX text in it.
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

// What the tolerant reading of a binary file lets through and the strict one refuses.
struct BinaryTolerance {
    bool longerThanFlash = false;  // the bytes past 20480 were ignored
    bool empty = false;            // the image is all zeros
    bool hexText = false;          // Intel HEX text, loaded as raw bytes

    bool Any() const { return longerThanFlash || empty || hexText; }
};

struct ImageLoadResult {
    bool ok = false;
    std::string reason;  // why the load failed, for a person to read
    ImageFormat format = ImageFormat::Binary;
    HexTolerance tolerated;
    BinaryTolerance binaryTolerated;
    // Binary: how many bytes of the file went into the image (at most 20480).
    std::optional<std::size_t> fileLength;
    // The addresses the file gave a byte for; the rest of the image is zero fill.
    std::bitset<ISP_IMAGE_SIZE> supplied;

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
