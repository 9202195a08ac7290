#include "cli/output/ImageWarnings.h"

#include <sstream>

#include "core/HexText.h"
#include "core/IspConstants.h"

namespace zelv4 {

std::string ToleratedWarnings(const ImageLoadResult& loaded)
{
    std::ostringstream err;
    const HexTolerance& tolerated = loaded.tolerated;
    const BinaryTolerance& binary = loaded.binaryTolerated;
    if (binary.empty)
        err << "warning: the file is empty; the image is all zeros\n";
    if (binary.longerThanFlash)
        err << "warning: the file is longer than the flash; only its first " << ISP_IMAGE_SIZE
            << " bytes were loaded\n";
    if (binary.hexText)
        err << "warning: the file holds Intel HEX text, but its name makes it binary: the text was loaded as raw "
               "bytes\n";
    if (tolerated.utf16Text)
        err << "warning: the file is UTF-16 text and was read byte by byte; save it as ASCII or UTF-8\n";
    if (tolerated.badChecksumRecords != 0)
        err << "warning: " << tolerated.badChecksumRecords
            << " record(s) with a wrong checksum were loaded as they are\n";
    if (tolerated.nonHexCharacters != 0)
        err << "warning: " << tolerated.nonHexCharacters
            << " character(s) inside records were not hex digits and were read as 0\n";
    if (tolerated.droppedBytes != 0)
        err << "warning: " << tolerated.droppedBytes << " data byte(s) addressed beyond "
            << AddressText(ISP_IMAGE_SIZE - 1) << " were dropped\n";
    if (tolerated.ignoredRecords != 0)
        err << "warning: " << tolerated.ignoredRecords
            << " record(s) of types other than data and end-of-file were ignored; "
               "extended addresses are not applied\n";
    if (tolerated.upperAddressRecords != 0)
        err << "warning: " << tolerated.upperAddressRecords
            << " extended address record(s) set a non-zero upper address; the data after them was loaded at its "
               "16-bit offset\n";
    if (tolerated.trailingCharacters != 0)
        err << "warning: " << tolerated.trailingCharacters << " character(s) after records' checksums were ignored\n";
    if (tolerated.strayCharacters != 0)
        err << "warning: " << tolerated.strayCharacters << " character(s) outside records were ignored\n";
    if (tolerated.malformedEndRecords != 0)
        err << "warning: the end-of-file record is malformed\n";
    if (tolerated.linesAfterEnd != 0)
        err << "warning: " << tolerated.linesAfterEnd
            << (tolerated.linesAfterEnd == 1 ? " line after the end-of-file record was ignored\n"
                                             : " lines after the end-of-file record were ignored\n");
    return err.str();
}

nlohmann::json ToleratedJson(const ImageLoadResult& loaded)
{
    const HexTolerance& tolerated = loaded.tolerated;
    const BinaryTolerance& binary = loaded.binaryTolerated;
    return {
        {"bad_checksum_records", tolerated.badChecksumRecords},
        {"non_hex_characters", tolerated.nonHexCharacters},
        {"dropped_bytes", tolerated.droppedBytes},
        {"ignored_records", tolerated.ignoredRecords},
        {"upper_address_records", tolerated.upperAddressRecords},
        {"trailing_characters", tolerated.trailingCharacters},
        {"stray_characters", tolerated.strayCharacters},
        {"malformed_end_records", tolerated.malformedEndRecords},
        {"lines_after_end", tolerated.linesAfterEnd},
        {"utf16_text", tolerated.utf16Text},
        {"binary_empty", binary.empty},
        {"binary_longer_than_flash", binary.longerThanFlash},
        {"binary_hex_text", binary.hexText},
    };
}

}  // namespace zelv4
