#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/ImageFile.h"

namespace zelv4 {

// One warning line per kind of thing the tolerant reading let through: the image
// still loads, but the user should know it may not be what the file's author meant.
std::string ToleratedWarnings(const ImageLoadResult& loaded);

// The same counts for --json, every kind named even when zero.
nlohmann::json ToleratedJson(const ImageLoadResult& loaded);

}  // namespace zelv4
