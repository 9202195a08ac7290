#include "cli/ImageWarnings.h"

#include "core/IspConstants.h"

namespace zelv4 {

void WarnTolerated(const HexTolerance& tolerated, std::ostream& err)
{
    if (tolerated.badChecksumRecords != 0)
        err << "warning: " << tolerated.badChecksumRecords
            << " data record(s) with a wrong checksum were loaded as they are\n";
    if (tolerated.nonHexCharacters != 0)
        err << "warning: " << tolerated.nonHexCharacters
            << " character(s) inside records were not hex digits and were read as 0\n";
    if (tolerated.droppedBytes != 0)
        err << "warning: " << tolerated.droppedBytes << " data byte(s) addressed beyond 0x" << std::hex
            << std::uppercase << (ISP_IMAGE_SIZE - 1) << std::dec << std::nouppercase << " were dropped\n";
    if (tolerated.ignoredRecords != 0)
        err << "warning: " << tolerated.ignoredRecords
            << " record(s) of types other than data and end-of-file were ignored; "
               "extended addresses are not applied\n";
}

nlohmann::json ToleratedJson(const HexTolerance& tolerated)
{
    return {
        {"bad_checksum_records", tolerated.badChecksumRecords},
        {"non_hex_characters", tolerated.nonHexCharacters},
        {"dropped_bytes", tolerated.droppedBytes},
        {"ignored_records", tolerated.ignoredRecords},
    };
}

}  // namespace zelv4
