#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/CommandResult.h"
#include "cli/GlobalOptions.h"
#include "core/Expected.h"
#include "core/ImageFile.h"

namespace zelv4 {

class OutputSink;

// A firmware file as a command read it, once, before any device was touched: every
// device the command programs gets these bytes, whatever happens to the file meanwhile.
struct CommandFirmware {
    std::shared_ptr<const LoadedImageFile> file;
    // What --json tells of it: path, format, length, tolerated problems, checksum.
    nlohmann::json details;
};

// Reads a firmware file for a command: strictly, unless --lenient. A refused file
// is the command's result ("Open file error !!" and the reason naming the file and
// line, exit 3). With --lenient and `warnings`, what the reading let through is said
// at once; without, the operation's result says it after its message.
Expected<CommandFirmware, CommandResult> LoadFirmware(const std::string& path, const GlobalOptions& options,
                                                      OutputSink* warnings);

}  // namespace zelv4
