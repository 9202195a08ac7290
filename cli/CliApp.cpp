#include "CliApp.h"

#include <CLI/CLI.hpp>

#include "CliCommands.h"
#include "CliContext.h"
#include "Version.h"

namespace zelv4 {

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    CliContext context(out, err);
    CLI::App app{"Programs the flash of a ZEL-V4 through its USB ISP loader.", "zelv4-isp"};
    app.set_version_flag("--version", std::string("zelv4-isp ") + ZELV4_VERSION_STRING);
    app.require_subcommand(1);
    app.fallthrough();

    app.add_option_function<std::string>("--sim", [&context](const std::string& state) {
           context.simulated = true;
           if (!state.empty())
               context.simStatePath = state;
       }, "Run on a built-in simulated machine; with =STATE, keep its flash in that file")->expected(0, 1);
    AddImageCommands(app, context);
    AddOperationCommands(app, context);
    AddDeviceCommands(app, context);
    AddBusCommands(app, context);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp& e) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        err << e.what() << "\n";
        return 2;
    }
    return context.exitCode;
}

}  // namespace zelv4
