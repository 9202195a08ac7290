#pragma once

#include <ostream>

#include <nlohmann/json.hpp>

#include "core/HexReader.h"

namespace zelv4 {

// One warning line per kind of thing the HEX reader let through: the image still
// loads, but the user should know it may not be what the file's author meant.
void WarnTolerated(const HexTolerance& tolerated, std::ostream& err);

// The same counts for --json, every kind named even when zero.
nlohmann::json ToleratedJson(const HexTolerance& tolerated);

}  // namespace zelv4
