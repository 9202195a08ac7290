#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/ExitCodes.h"
#include "cli/output/OutputSink.h"
#include "core/Error.h"

namespace zelv4 {

// How a command ended: its exit code, the outcome as --json names it, its one
// message, the details that scripts would otherwise scrape from the text, and the
// lines its text ends with. The front end renders it once, after the run, as text
// or as --json's object. Each exit code is chosen by one of the constructors below,
// from the tables in ExitCodes.
struct CommandResult {
    int exitCode = EXIT_OK;
    std::string outcome;  // empty: named after the exit code
    std::string message;  // empty: the first line of the run's text
    nlohmann::json details = nlohmann::json::object();
    std::vector<OutputText> lines;

    // `message` is --json's message only: a command that succeeds says its result
    // in its lines.
    static CommandResult Succeeded(std::string message = {});
    // The command line asks for something that cannot be done (exit 2); `message`
    // is said on stderr.
    static CommandResult Refused(const std::string& message, std::string outcome = "usage-error");
    // A failure of this kind, said on stderr, with the exit code its kind has.
    static CommandResult Failed(const Error& error, std::string outcome);
    // An operation's end, with its exit code (`interrupted` when a stop ended it),
    // outcome and last message; the details are the caller's.
    static CommandResult OfOperation(const OperationResult& operation, int interrupted);
    // What --help and --version print: `text` on stdout, exit 0.
    static CommandResult Shown(std::string outcome, std::string text, std::string message = {});
    // The result would go to a standard output the process was started without (exit 3).
    static CommandResult StdoutClosed();
    // Several devices' runs (--all, watch), ended with `exitCode` (the most serious
    // of theirs, or the interruption's); `summary` is the message.
    static CommandResult Tally(int exitCode, std::string summary);

    // Keeps the details the command had gathered before it ended so (the firmware
    // file's), under its own.
    CommandResult& KeepingDetails(nlohmann::json earlier);
    // Appends whole lines to the text.
    CommandResult& Out(std::string text);
    CommandResult& Err(std::string text);
    // All the lines, in order, as one text.
    std::string Text() const;
};

// What a command says when its result has nowhere to go.
inline constexpr const char* STDOUT_CLOSED = "standard output is closed";

}  // namespace zelv4
