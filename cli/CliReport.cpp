#include "cli/CliReport.h"

#include <sstream>
#include <vector>

#include "cli/CliExitCodes.h"

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

void CliReport::SetOutcome(std::string outcome, std::string message)
{
    m_outcome = std::move(outcome);
    m_message = std::move(message);
}

std::string CliReport::Render(int exitCode, const std::string& text) const
{
    const std::vector<std::string> lines = Lines(text);
    // Keys in reading order: what ran and how it ended first, the details last.
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["command"] = m_command ? nlohmann::ordered_json(*m_command) : nlohmann::ordered_json(nullptr);
    // A command that succeeded can still fail the run afterwards (the --sim state).
    const bool stale = m_outcome.empty() || (m_outcome == "succeeded" && exitCode != EXIT_OK);
    object["outcome"] = stale ? std::string(ExitCodeName(exitCode)) : m_outcome;
    object["ok"] = exitCode == EXIT_OK;
    object["exit_code"] = exitCode;
    object["message"] = !m_message.empty() ? m_message : (lines.empty() ? std::string() : lines.front());
    object["messages"] = lines;
    object["details"] = m_details;
    // Paths and device texts are bytes: anything that is not UTF-8 becomes U+FFFD
    // rather than an exception or invalid JSON.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace zelv4
