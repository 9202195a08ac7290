#pragma once

#include <memory>
#include <string>

#include "core/OutputFile.h"

namespace zelv4 {

// Read's dump in the page: the blocks are kept in memory and handed to the
// browser as a download only once the whole flash is in, so a failed Read offers
// nothing, as a native one leaves the target file as it was.
class WebDumpFiles : public OutputFileSystem {
public:
    Expected<std::unique_ptr<OutputFile>> Create(const std::string& path) override;
};

}  // namespace zelv4
