#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/CommandResult.h"
#include "cli/record/RecordingChoice.h"
#include "cli/run/ChipHooks.h"
#include "cli/run/DeviceOperation.h"
#include "core/Expected.h"

namespace zelv4 {

// A run's production record, ready before any device is touched.
struct Recording {
    std::unique_ptr<ChipHooks> hooks;                   // null: nothing to keep
    nlohmann::json details = nlohmann::json::object();  // the record, the station, the serial counter
};

// Checks what `choice` asks (the serial field against the firmware `request` holds)
// and opens the record and the counter, so that every refusal comes before the first
// chip: a field past the flash or over the file's bytes, a number that no longer
// fits, --serial without --record, a counter that counts otherwise (all exit 2), a
// record that cannot be opened. `operation` is the record's name of what the chips
// get.
Expected<Recording, CommandResult> StartRecording(const RecordingChoice& choice, const std::string& operation,
                                                  const OperationRequest& request);

}  // namespace zelv4
