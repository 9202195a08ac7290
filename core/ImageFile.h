#pragma once

#include <cstddef>
#include <string>

#include "core/FirmwareImage.h"
#include "core/HexReader.h"

namespace zelv4 {

enum class ImageFormat { Hex, Binary };

// Hostile-input limits. A binary image is the first 20480 bytes of the file and no
// more is read (so /dev/zero is fine). A full image as HEX is about 57 KB with
// 16-byte records and 270 KB with 1-byte records; past this much input without an
// end-of-file record the file is not firmware for this chip.
inline constexpr std::size_t BINARY_MAX_INPUT_BYTES = ISP_IMAGE_SIZE;
inline constexpr std::size_t HEX_MAX_INPUT_BYTES = 16 * 1024 * 1024;

// The reader a path selects: HEX when it contains ".hex" or ".HEX" anywhere
// (case-sensitive, so ".Hex" is binary; a directory "x.hex/" counts too).
ImageFormat ImageFormatForPath(const std::string& path);

struct ImageLoadResult {
    bool ok = false;
    std::string reason;  // why the load failed, for a person to read
    ImageFormat format = ImageFormat::Binary;
    HexTolerance tolerated;

    explicit operator bool() const { return ok; }
};

// Zero-fills the image, then fills it from the file: HEX when the path contains
// ".hex" or ".HEX", raw binary otherwise. A failed result means the caller shows
// "Open file error !!".
ImageLoadResult LoadImageFile(const std::string& path, FirmwareImage& image);

}  // namespace zelv4
