// libFuzzer target: the HEX reader over arbitrary bytes must stop, stay inside the
// image and keep its counts consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/HexReader.h"
#include "core/SpanByteSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zelv4;
    SpanByteSource source({data, size});
    FirmwareImage image{};
    const HexReadResult result = ReadHexRecords(source, image, ISP_IMAGE_SIZE);

    // Every character is read at most once and the reader never runs past the end.
    if (source.Consumed() > size)
        std::abort();
    if (result.endRecord && result.cutInRecord)
        std::abort();
    // Each data record that completed holds at most 255 bytes.
    if (result.tolerated.droppedBytes > result.dataRecords * 255)
        std::abort();
    if (result.tolerated.nonHexCharacters > size)
        std::abort();
    // The image can hold only what the input spelled: 2 characters per byte, and
    // only at addresses a record supplied.
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        nonZero += image[i] != 0;
        if (image[i] != 0 && !result.supplied[i])
            std::abort();
    }
    if (nonZero * 2 > size || result.supplied.count() * 2 > size)
        std::abort();
    return 0;
}
