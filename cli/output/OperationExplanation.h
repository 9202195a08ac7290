#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/OperationResult.h"

namespace zelv4 {

// What the message box alone does not say, for someone at a terminal: lines for
// stderr. Without `sayNoDevice`, a missing device is left for the caller to explain
// (it knows which device was asked for).
std::string ExplainResult(const OperationResult& result, bool lenient, bool sayNoDevice = true);

// The --json details of one operation on the device at `devicePath` (empty: none).
nlohmann::json OperationDetails(const OperationResult& result, const std::string& devicePath);

}  // namespace zelv4
