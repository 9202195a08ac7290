#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "core/ImageFile.h"

namespace zelv4 {

struct CliContext;

// One warning line per kind of thing the tolerant reading let through: the image
// still loads, but the user should know it may not be what the file's author meant.
void WarnTolerated(const ImageLoadResult& loaded, std::ostream& err);

// The same counts for --json, every kind named even when zero.
nlohmann::json ToleratedJson(const ImageLoadResult& loaded);

// How the command line reads firmware: strictly, unless --lenient.
ImageLoadOptions ImageOptionsFor(const CliContext& context);

// Loads a firmware file for a command, once: the operations program `loaded`. A refused file is reported ("Open file
// error
// !!" and the reason naming the file and line), sets exit code 3 and the --json
// outcome, and returns false; a loaded one fills the --json details and, with
// --lenient and `warn`, warns about what the reading let through (without `warn`,
// the operation that loads the file again warns after its message).
bool LoadImageForCommand(CliContext& context, const std::string& path, LoadedImageFile& loaded, bool warn);

}  // namespace zelv4
