#include "cli/CliApp.h"

#include <CLI/CLI.hpp>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/CliExitCodes.h"
#include "cli/CliPlatform.h"
#include "res/Version.h"

namespace zelv4 {

namespace {

constexpr const char* SIM_STATE_PREFIX = "--sim=";
constexpr const char* SIM_STATE_OPTION = "--sim-state";

// `--sim` is a plain flag, so `write --sim image.hex` can never take the image for
// a state file; only the one token `--sim=STATE` carries a path. It becomes the
// hidden `--sim-state=STATE`, still one token, so that a path that looks like an
// option (`--sim=--json`) stays a path.
std::vector<std::string> RewriteArguments(int argc, const char* const* argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            args.insert(args.end(), argv + i, argv + argc);
            break;
        }
        if (arg.rfind(SIM_STATE_PREFIX, 0) == 0) {
            args.push_back(std::string(SIM_STATE_OPTION) + "=" + arg.substr(std::string(SIM_STATE_PREFIX).size()));
        } else {
            args.push_back(arg);
        }
    }
    return args;
}

// --json is known before parsing, so that even a parse error is reported as JSON.
bool WantsJson(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        if (arg == "--json")
            return true;
    }
    return false;
}

bool WantsHelpOrVersion(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "--version")
            return true;
    }
    return false;
}

// The subcommand the arguments name, also when they do not parse.
std::optional<std::string> NamedCommand(CLI::App& app, const std::vector<std::string>& args)
{
    std::set<std::string> names;
    for (const CLI::App* command : app.get_subcommands({}))
        names.insert(command->get_name());
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--")
            break;
        if (names.count(args[i]) != 0)
            return args[i];
    }
    return std::nullopt;
}

// An option written with '=' and nothing after it (`--port=`, `--sim=`): the parser
// would take the next argument as its value, so `--sim= write erase` would keep the
// flash in a file named "write".
std::optional<std::string> EmptyInlineValue(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        if (arg.size() > 3 && arg.starts_with("--") && arg.back() == '=' && arg.find('=') == arg.size() - 1)
            return "empty value for " +
                   (arg == SIM_STATE_PREFIX ? std::string(SIM_STATE_PREFIX) + "STATE" : arg.substr(0, arg.size() - 1));
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
    for (const CLI::App* command : app.get_subcommands({}))
        names += (names.empty() ? "" : ", ") + command->get_name();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--")
            break;
        if (!arg.starts_with("-")) {
            return "unknown command '" + arg + "'; the commands are: " + names;
        }
        const CLI::Option* option = arg.find('=') == std::string::npos ? app.get_option_no_throw(arg) : nullptr;
        if (option != nullptr && option->get_type_size_max() > 0)
            ++i;  // its value
    }
    return "no command given; the commands are: " + names;
}

// The parser's message, with a repeated option named as the user wrote it: the
// parser says "NAME: At Most 1 required but received 2", and leaves NAME empty for
// the hidden option that --sim=STATE becomes.
std::string UsageMessage(const CLI::ParseError& error)
{
    const std::string text = error.what();
    const std::string atMost = ": At Most 1 required but received ";
    const auto at = text.find(atMost);
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) == nullptr || at == std::string::npos)
        return text;
    const std::string name = at == 0 ? std::string(SIM_STATE_PREFIX) + "STATE" : text.substr(0, at);
    return name + " was given " + text.substr(at + atMost.size()) + " times; give it once";
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    return RunCli(argc, argv, out, err, CliEnvironment{});
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, const CliEnvironment& environment)
{
    const std::vector<std::string> args = RewriteArguments(argc, argv);
    const bool json = WantsJson(args);
    // With --json the text lines go into the report, in the order they were written.
    std::ostringstream captured;
    CliContext context(json ? captured : out, json ? captured : err);
    context.json = json;
    context.environment = environment;
    context.progressStream = &err;

    // The one JSON object would be lost.
    if (json && environment.stdoutClosed) {
        err << STDOUT_CLOSED << "\n";
        return EXIT_FILE;
    }

    CLI::App app{"Programs the flash of a ZEL-V4 through its USB ISP loader.", "zelv4-isp"};
    app.set_version_flag("--version", std::string("zelv4-isp ") + ZELV4_VERSION_STRING);
    app.require_subcommand(1);
    // The same command line everywhere: on Windows CLI11 would take "/x" for an option.
    app.allow_windows_style_options(false);
    app.fallthrough();
    app.footer(ExitCodeHelp());

    app.add_flag("--sim", context.simulated,
                 "Run on a built-in simulated machine, a fresh erased chip each run; "
                 "--sim=STATE keeps its flash in the file STATE between runs");
    std::string statePath;
    app.add_option_function<std::string>(
           SIM_STATE_OPTION,
           [&context](const std::string& path) {
               context.simulated = true;
               context.simStatePath = path;
           },
           "")
        ->group("");
    app.add_option("--sim-chips", context.simChips,
                   "With --sim: a production line of N simulated chips in ISP mode, on ports 1-1, 1-3.1, "
                   "1-3.2, ... (implies --sim)")
        ->check(CLI::Range(1, 16))
        ->each([&context](const std::string&) { context.simulated = true; });
    app.add_option("--sim-delay", context.simDelayMilliseconds,
                   "With --sim: each transfer takes MS milliseconds (1 models a full-speed USB frame; implies --sim)")
        ->check(CLI::Range(0.0, 1000.0))
        ->each([&context](const std::string&) { context.simulated = true; });
    app.add_option("--sim-arrive", context.simArrivals,
                   "With --sim: one more chip arrives MS milliseconds after the start; repeat for more "
                   "(implies --sim)")
        ->allow_extra_args(false)
        ->check(CLI::Range(0u, 3600000u))
        ->each([&context](const std::string&) { context.simulated = true; });
    app.add_flag("--json", context.json, "Print one JSON object on stdout instead of text, errors included");
    app.add_flag("-q,--quiet", context.quiet, "Draw no progress on the terminal");
    app.add_flag("--lenient", context.lenient,
                 "Read firmware files as the window does: load what a strict reading refuses "
                 "(bad record checksums, extended addresses, data past 0x4FFF, ...) and warn about it");
    AddImageCommands(app, context);
    AddOperationCommands(app, context);
    AddDeviceCommands(app, context);
    AddBusCommands(app, context);
    AddWatchCommand(app, context);
    RefuseEmptyValues(app);

    const std::optional<std::string> command = NamedCommand(app, args);
    if (command)
        context.report.SetCommand(*command);

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        if (!environment.argumentError.empty())
            throw CLI::ValidationError(environment.argumentError);
        if (const std::optional<std::string> empty = EmptyInlineValue(argc, argv))
            throw CLI::ParseError(*empty, CLI::ExitCodes::ValidationError);
        if (!command && !WantsHelpOrVersion(args))
            throw CLI::ParseError(UnknownCommandMessage(app, args), CLI::ExitCodes::ExtrasError);
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        if (RequireStdout(context)) {
            context.out << app.help();
            context.report.SetOutcome("help", "");
            context.exitCode = EXIT_OK;
        }
    } catch (const CLI::CallForAllHelp&) {
        if (RequireStdout(context)) {
            context.out << app.help("", CLI::AppFormatMode::All);
            context.report.SetOutcome("help", "");
            context.exitCode = EXIT_OK;
        }
    } catch (const CLI::CallForVersion& e) {
        if (RequireStdout(context)) {
            context.out << e.what() << "\n";
            context.report.SetOutcome("version", e.what());
            context.exitCode = EXIT_OK;
        }
    } catch (const CLI::ParseError& e) {
        const std::string message = UsageMessage(e);
        context.err << message << "\n";
        if (!json)
            context.err << "Run with --help for more information.\n";
        context.report.SetOutcome("usage-error", message);
        context.exitCode = EXIT_USAGE;
    }
    SaveSimulatedState(context);

    if (json)
        out << context.report.Render(context.exitCode, captured.str()) << "\n";
    out.flush();
    return context.exitCode;
}

}  // namespace zelv4
