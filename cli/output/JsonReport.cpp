#include "cli/output/JsonReport.h"

#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/CommandResult.h"
#include "cli/ExitCodes.h"

namespace zelv4 {

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        // Terminal-only endings (the device search's plain box ends in " \n").
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::string JsonReport(const std::optional<std::string>& command, const CommandResult& result, const std::string& text)
{
    const std::vector<std::string> lines = Lines(text);
    const int exitCode = result.exitCode;
    // Keys in reading order: what ran and how it ended first, the details last.
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["command"] = command ? nlohmann::ordered_json(*command) : nlohmann::ordered_json(nullptr);
    // A command that succeeded can still fail the run afterwards (the --sim state).
    const bool stale = result.outcome.empty() || (result.outcome == "succeeded" && exitCode != EXIT_OK);
    object["outcome"] = stale ? std::string(ExitCodeName(exitCode)) : result.outcome;
    object["ok"] = exitCode == EXIT_OK;
    object["exit_code"] = exitCode;
    object["message"] = !result.message.empty() ? result.message : (lines.empty() ? std::string() : lines.front());
    object["messages"] = lines;
    object["details"] = result.details;
    // Paths and device texts are bytes: anything that is not UTF-8 becomes U+FFFD
    // rather than an exception or invalid JSON.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace zelv4
