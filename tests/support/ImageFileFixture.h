#pragma once

#include <string>

#include "core/ImageFile.h"
#include "support/ScratchDir.h"

namespace zelv4::test {

// Loads files written into a scratch directory, into an image that starts dirty.
class ImageFileFixture : public ::testing::Test {
protected:
    ImageLoadResult Load(const std::string& path)
    {
        image.fill(0xC3);  // the loader must zero-fill first
        return LoadImageFile(path, image);
    }

    ScratchDir dir;
    FirmwareImage image{};
};

}  // namespace zelv4::test
