#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace zelv4 {

// What --json prints for one run: the command, how it ended, the message, every
// text line the run would otherwise have printed, the exit code, and details that
// scripts would otherwise scrape from the text.
class CliReport {
public:
    void SetCommand(std::string command) { m_command = std::move(command); }
    const std::optional<std::string>& Command() const { return m_command; }

    // The outcome's name ("verify-mismatch") and its one message ("Verify Fail !!!").
    // Without them the exit code names the outcome and the first line is the message.
    void SetOutcome(std::string outcome, std::string message);

    // Details by name; replaced as a whole or filled field by field.
    nlohmann::json& Details() { return m_details; }

    // The whole object, one line, valid UTF-8 whatever bytes paths and device texts
    // held. `text` is everything the run wrote to its text streams.
    std::string Render(int exitCode, const std::string& text) const;

private:
    std::optional<std::string> m_command;
    std::string m_outcome;
    std::string m_message;
    nlohmann::json m_details = nlohmann::json::object();
};

}  // namespace zelv4
