#pragma once

#include <cstddef>
#include <string>

#include "FirmwareImage.h"

namespace zelv4 {

enum class ImageFormat { Hex, Binary };

// What the HEX reader accepted without failing the load, so that the command line
// can warn about it. The window ignores it.
struct HexTolerance {
    std::size_t badChecksumRecords = 0;  // records whose checksum byte is wrong
    std::size_t nonHexCharacters = 0;    // characters inside records that are not hex digits
    std::size_t droppedBytes = 0;        // data bytes addressed beyond the image
    std::size_t ignoredRecords = 0;      // records of types other than 0 and 1

    bool Any() const { return badChecksumRecords || nonHexCharacters || droppedBytes || ignoredRecords; }
};

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
