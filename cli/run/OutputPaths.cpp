#include "cli/run/OutputPaths.h"

#include <filesystem>

#include "core/ImageFile.h"
#include "core/QuotedPath.h"
#include "sys/StreamOutputFile.h"

namespace zelv4 {

namespace {

constexpr int STDOUT_DESCRIPTOR = 1;

// One file by identity; a file still to be made (the --sim=STATE file of a first
// run) has none yet, and is the same when its full name is.
bool Same(const std::string& output, const std::string& input)
{
    if (SameFile(output, input))
        return true;
    std::error_code error;
    if (std::filesystem::exists(output, error) && std::filesystem::exists(input, error))
        return false;
    const auto outputName = std::filesystem::weakly_canonical(std::filesystem::absolute(output), error);
    const auto inputName = std::filesystem::weakly_canonical(std::filesystem::absolute(input), error);
    return !error && outputName == inputName;
}

}  // namespace

std::vector<RunInput> RunInputs(const GlobalOptions& options, const std::string& firmwarePath)
{
    std::vector<RunInput> inputs;
    if (!firmwarePath.empty())
        inputs.push_back({"the firmware file", firmwarePath});
    if (options.simStatePath)
        inputs.push_back({"the --sim=STATE file", *options.simStatePath});
    return inputs;
}

bool IsStandardOutput(const std::string& path)
{
    return NamedDescriptor(path) == STDOUT_DESCRIPTOR;
}

std::optional<CommandResult> CheckOutputPath(const GlobalOptions& options, bool stdoutClosed, const std::string& option,
                                             const std::string& path, bool binary, const std::vector<RunInput>& inputs)
{
    for (const RunInput& input : inputs)
        if (Same(path, input.path))
            return CommandResult::Refused(option + " " + Quoted(path) + " is " + input.what + " " + Quoted(input.path) +
                                          ": writing it would destroy what this run reads");
    // This tool reads any name with ".hex" in it as HEX, and would refuse its own dump.
    if (binary && ImageFormatForPath(path) == ImageFormat::Hex)
        return CommandResult::Refused(option + " " + Quoted(path) +
                                      " is binary, but a name containing \".hex\" or \".HEX\" is read back as Intel "
                                      "HEX; name it .bin or .dmp");
    if (IsStandardOutput(path)) {
        if (options.json)
            return CommandResult::Refused("with --json, standard output carries the JSON object; " + option +
                                          " cannot be standard output too");
        if (stdoutClosed)
            return CommandResult::StdoutClosed();
    }
    return std::nullopt;
}

}  // namespace zelv4
