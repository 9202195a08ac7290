#pragma once

#include <memory>
#include <string>

#include "cli/CommandResult.h"
#include "core/Expected.h"
#include "record/RecordStore.h"

namespace zelv4 {

// Opens --record TARGET for a command; a TARGET this build cannot open (a
// postgresql:// URI without libpq) is refused as a usage error, any other failure
// is the command's result ("record-error").
Expected<std::unique_ptr<RecordStore>, CommandResult> OpenRecord(const std::string& target,
                                                                 const RecordOptions& options = {});

}  // namespace zelv4
