#include "cli/CommandResult.h"

namespace zelv4 {

CommandResult CommandResult::Succeeded(std::string message)
{
    CommandResult result;
    result.outcome = "succeeded";
    result.message = std::move(message);
    return result;
}

CommandResult CommandResult::Refused(const std::string& message, std::string outcome)
{
    CommandResult result;
    result.exitCode = EXIT_USAGE;
    result.outcome = std::move(outcome);
    result.message = message;
    result.Err(message + "\n");
    return result;
}

CommandResult CommandResult::Failed(const Error& error, std::string outcome)
{
    CommandResult result;
    result.exitCode = ExitCodeFor(error.code);
    result.outcome = std::move(outcome);
    result.message = error.message;
    result.Err(error.message + "\n");
    return result;
}

CommandResult CommandResult::OfOperation(const OperationResult& operation, int interrupted)
{
    CommandResult result;
    result.exitCode = ExitCodeFor(operation, interrupted);
    result.outcome = OutcomeName(operation);
    result.message = operation.LastMessage();
    return result;
}

CommandResult CommandResult::Shown(std::string outcome, std::string text, std::string message)
{
    CommandResult result;
    result.outcome = std::move(outcome);
    result.message = std::move(message);
    result.Out(std::move(text));
    return result;
}

CommandResult CommandResult::StdoutClosed()
{
    return Failed(Error(ErrorCode::FileFailed, STDOUT_CLOSED), "stdout-closed");
}

CommandResult CommandResult::Tally(int exitCode, std::string summary)
{
    CommandResult result;
    result.exitCode = exitCode;
    result.outcome = ExitCodeName(exitCode);
    result.message = std::move(summary);
    return result;
}

CommandResult& CommandResult::KeepingDetails(nlohmann::json earlier)
{
    earlier.update(details);
    details = std::move(earlier);
    return *this;
}

CommandResult& CommandResult::Out(std::string text)
{
    if (!text.empty())
        lines.push_back({OutputStream::Out, std::move(text)});
    return *this;
}

CommandResult& CommandResult::Err(std::string text)
{
    if (!text.empty())
        lines.push_back({OutputStream::Err, std::move(text)});
    return *this;
}

std::string CommandResult::Text() const
{
    std::string text;
    for (const OutputText& piece : lines)
        text += piece.text;
    return text;
}

}  // namespace zelv4
