#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/CommandResult.h"
#include "cli/ExitCodes.h"
#include "cli/GlobalOptions.h"
#include "cli/commands/Commands.h"
#include "cli/output/CapturedOutput.h"
#include "cli/output/JsonReport.h"
#include "cli/output/TextOutput.h"
#include "cli/run/Machine.h"
#include "res/Version.h"

namespace zelv4 {

namespace {

constexpr const char* SIM_STATE_NAME = "--sim=STATE";
// The value CLI11 gives a bare --sim, its flag's default: a flag takes a value only
// as `--sim=STATE`, one token, so that `--sim write fw.hex` never takes the firmware
// for a state file. No path is this control character.
constexpr const char* BARE_SIM = "\x1f";

// Help without the bare --sim's default value, which means nothing to a reader.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        const std::string shown = std::string("{") + BARE_SIM + "}";
        if (const auto at = name.find(shown); at != std::string::npos)
            name.erase(at, shown.size());
        return name;
    }
};

// Whether an argument before any "--" is one of `names`.
bool Given(const std::vector<std::string>& args, std::initializer_list<const char*> names)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        for (const char* name : names)
            if (arg == name)
                return true;
    }
    return false;
}

// The subcommand the arguments name, also when they do not parse: the first
// argument that is a command's name.
std::optional<std::string> NamedCommand(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        for (const CommandEntry& entry : Commands())
            if (arg == entry.name)
                return arg;
    }
    return std::nullopt;
}

// An option written with '=' and nothing after it (`--port=`, `--sim=`): the parser
// would take the next argument as its value, so `--sim= write erase` would keep the
// flash in a file named "write".
std::optional<std::string> EmptyInlineValue(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg.size() > 3 && arg.starts_with("--") && arg.back() == '=' && arg.find('=') == arg.size() - 1)
            return "empty value for " + (arg == "--sim=" ? std::string(SIM_STATE_NAME) : arg.substr(0, arg.size() - 1));
    }
    return std::nullopt;
}

// No option takes an empty value: `--port "$SOCKET"` with SOCKET unset would
// otherwise choose no port at all, and program whichever chip is attached.
void RefuseEmptyValues(CLI::App& app)
{
    for (CLI::Option* option : app.get_options()) {
        if (!option->nonpositional() || option->get_type_size_max() <= 0)
            continue;
        const std::string name = option->get_name();
        option->check(CLI::Validator(
            [name](std::string& value) {
                // Not a validation error, which the parser would prefix with the name.
                if (value.empty())
                    throw CLI::ParseError("empty value for " + name, CLI::ExitCodes::ValidationError);
                return std::string();
            },
            "", ""));
    }
    for (CLI::App* command : app.get_subcommands({}))
        RefuseEmptyValues(*command);
}

// What was given where a command was due, when no command was: the first argument
// that is neither an option nor the value of one.
std::string UnknownCommandMessage(CLI::App& app, const std::vector<std::string>& args)
{
    std::string names;
    for (const CommandEntry& entry : Commands())
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--")
            break;
        if (!arg.starts_with("-"))
            return "unknown command '" + arg + "'; the commands are: " + names;
        const CLI::Option* option = arg.find('=') == std::string::npos ? app.get_option_no_throw(arg) : nullptr;
        // A flag such as --sim takes a value only after '=', never the next argument.
        if (option != nullptr && option->get_items_expected_min() > 0)
            ++i;  // its value
    }
    return "no command given; the commands are: " + names;
}

// An option that takes one value, given more than once: named as the user wrote it.
std::optional<std::string> RepeatedOption(const CLI::App& app)
{
    for (const CLI::Option* option : app.get_options())
        if (option->get_items_expected_max() == 1 && option->count() > 1)
            return option->get_name() + " was given " + std::to_string(option->count()) + " times; give it once";
    for (const CLI::App* command : app.get_subcommands({}))
        if (std::optional<std::string> repeated = RepeatedOption(*command))
            return repeated;
    return std::nullopt;
}

CommandResult UsageError(const std::string& message, bool json)
{
    CommandResult refused = CommandResult::Refused(message);
    if (!json)
        refused.Err("Run with --help for more information.\n");
    return refused;
}

struct SimOptions {
    std::vector<std::string> sim;        // each --sim: BARE_SIM, or its STATE
    std::vector<CLI::Option*> implying;  // --sim-chips, --sim-delay, --sim-arrive
};

void AddGlobalOptions(CLI::App& app, GlobalOptions& options, SimOptions& sim)
{
    app.add_flag(std::string("--sim{") + BARE_SIM + "}", sim.sim,
                 "Run on a built-in simulated machine, a fresh erased chip each run; "
                 "--sim=STATE keeps its flash in the file STATE between runs");
    sim.implying.push_back(app.add_option("--sim-chips", options.simChips,
                                          "With --sim: a production line of N simulated chips in ISP mode, on ports "
                                          "1-1, 1-3.1, 1-3.2, ... (implies --sim)")
                               ->check(CLI::Range(1, 16)));
    sim.implying.push_back(
        app.add_option(
               "--sim-delay", options.simDelayMilliseconds,
               "With --sim: each transfer takes MS milliseconds (1 models a full-speed USB frame; implies --sim)")
            ->check(CLI::Range(0.0, 1000.0)));
    sim.implying.push_back(app.add_option("--sim-arrive", options.simArrivals,
                                          "With --sim: one more chip arrives MS milliseconds after the start; repeat "
                                          "for more (implies --sim)")
                               ->allow_extra_args(false)
                               ->check(CLI::Range(0u, 3600000u)));
    app.add_flag("--json", options.json, "Print one JSON object on stdout instead of text, errors included");
    app.add_flag("-q,--quiet", options.quiet, "Draw no progress on the terminal");
    app.add_flag("--lenient", options.lenient,
                 "Read firmware files as the window does: load what a strict reading refuses "
                 "(bad record checksums, extended addresses, data past 0x4FFF, ...) and warn about it");
}

// --sim, --sim=STATE and the options that imply --sim, as the options say them; a
// state given twice is refused.
std::optional<std::string> TakeSimOptions(const SimOptions& sim, GlobalOptions& options)
{
    std::vector<std::string> states;
    for (const std::string& value : sim.sim)
        if (value != BARE_SIM)
            states.push_back(value);
    if (states.size() > 1)
        return std::string(SIM_STATE_NAME) + " was given " + std::to_string(states.size()) + " times; give it once";
    if (!states.empty())
        options.simStatePath = states.front();
    options.simulated = !sim.sim.empty();
    for (const CLI::Option* option : sim.implying)
        options.simulated = options.simulated || option->count() > 0;
    return std::nullopt;
}

// Parses the arguments and runs the command they name.
CommandResult ParseAndRun(const std::vector<std::string>& args, const std::optional<std::string>& named, bool json,
                          OutputSink& live, std::ostream& err, const CliEnvironment& environment)
{
    GlobalOptions options;
    SimOptions sim;
    CLI::App app{"Programs the flash of a ZEL-V4 through its USB ISP loader.", "zelv4-isp"};
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_version_flag("--version", std::string("zelv4-isp ") + ZELV4_VERSION_STRING);
    app.require_subcommand(1);
    // The same command line everywhere: on Windows CLI11 would take "/x" for an option.
    app.allow_windows_style_options(false);
    app.fallthrough();
    AddGlobalOptions(app, options, sim);

    // A run builds what it runs: the command it names, with its options. Help lists
    // every command (--help-all with their options).
    const bool help = Given(args, {"-h", "--help", "--help-all"});
    const bool helpAll = Given(args, {"--help-all"});
    if (help)
        app.footer(ExitCodeHelp());
    std::vector<std::unique_ptr<Command>> made;
    Command* command = nullptr;
    for (const CommandEntry& entry : Commands()) {
        const bool chosen = named && *named == entry.name;
        if (!chosen && !help)
            continue;
        CLI::App* subcommand = app.add_subcommand(entry.name, entry.description);
        if (chosen || helpAll) {
            made.push_back(entry.make());
            made.back()->AddOptions(*subcommand);
            if (chosen)
                command = made.back().get();
        }
    }
    RefuseEmptyValues(app);

    try {
        if (!environment.argumentError.empty())
            throw CLI::ValidationError(environment.argumentError);
        if (const std::optional<std::string> empty = EmptyInlineValue(args))
            throw CLI::ParseError(*empty, CLI::ExitCodes::ValidationError);
        if (!named && !help && !Given(args, {"--version"}))
            throw CLI::ParseError(UnknownCommandMessage(app, args), CLI::ExitCodes::ExtrasError);
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return environment.stdoutClosed ? CommandResult::StdoutClosed() : CommandResult::Shown("help", app.help());
    } catch (const CLI::CallForAllHelp&) {
        return environment.stdoutClosed ? CommandResult::StdoutClosed()
                                        : CommandResult::Shown("help", app.help("", CLI::AppFormatMode::All));
    } catch (const CLI::CallForVersion& e) {
        return environment.stdoutClosed ? CommandResult::StdoutClosed()
                                        : CommandResult::Shown("version", e.what() + std::string("\n"), e.what());
    } catch (const CLI::ArgumentMismatch& e) {
        return UsageError(RepeatedOption(app).value_or(e.what()), json);
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what(), json);
    }
    if (const std::optional<std::string> repeated = TakeSimOptions(sim, options))
        return UsageError(*repeated, json);
    if (command == nullptr)
        return UsageError(UnknownCommandMessage(app, args), json);

    Machine machine(options, environment.machine);
    CommandServices services{live, machine, environment, err};
    CommandResult result = command->Run(options, services);
    // The --sim=STATE flash goes back into its file, also after a failed command: a
    // failure to save it fails a run that had succeeded.
    if (const Expected<void> saved = machine.SaveState(); !saved) {
        result.Err(saved.error().message + "\n");
        if (result.exitCode == EXIT_OK) {
            result.exitCode = ExitCodeFor(saved.error().code);
            result.outcome = "state-file-error";
            result.message = saved.error().message;
        }
    }
    return result;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    return RunCli(argc, argv, out, err, CliEnvironment{});
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliEnvironment& environment)
{
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    // Known before parsing, so that even a parse error is reported as JSON.
    const bool json = Given(args, {"--json"});
    // The one JSON object would be lost.
    if (json && environment.stdoutClosed) {
        err << STDOUT_CLOSED << "\n";
        return EXIT_FILE;
    }
    // The text a run says as it goes: on the terminal at once, or kept for the JSON
    // object's messages.
    TextOutput text(out, err);
    CapturedOutput captured;
    OutputSink& live = json ? static_cast<OutputSink&>(captured) : text;

    const std::optional<std::string> named = NamedCommand(args);
    const CommandResult result = ParseAndRun(args, named, json, live, err, environment);
    if (json) {
        out << JsonReport(named, result, captured.Text() + result.Text()) << "\n";
    } else {
        for (const OutputText& piece : result.lines)
            text.Write(piece.stream, piece.text);
    }
    out.flush();
    return result.exitCode;
}

}  // namespace zelv4
