#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliEnvironment.h"
#include "cli/CliReport.h"
#include "cli/DeviceChoice.h"
#include "cli/SimStateFile.h"

namespace zelv4 {

class DevicePlatform;
class SimMachine;

// What every command shares: the streams it renders to, the global options, and
// the exit code it leaves. Commands never print from core code: they render the
// results and events that core returns.
struct CliContext {
    CliContext(std::ostream& outStream, std::ostream& errStream) : out(outStream), err(errStream) {}

    std::ostream& out;
    std::ostream& err;
    int exitCode = 0;

    // --sim: run on a built-in simulated machine instead of the real devices.
    bool simulated = false;
    // --sim=STATE: keep the simulated flash in this file between runs.
    std::optional<std::string> simStatePath;
    // --sim-chips, --sim-delay, --sim-arrive: a simulated production line of this
    // many chips, each transfer taking this long, and chips arriving so many
    // milliseconds after the start.
    unsigned simChips = 1;
    double simDelayMilliseconds = 0;
    std::vector<unsigned> simArrivals;
    // --json: one JSON object on stdout instead of the usual text; the commands fill
    // `report` and keep writing their text lines, which the object then carries.
    bool json = false;
    // --quiet: draw no progress.
    bool quiet = false;
    // --lenient: read firmware files as the window does, warning about what it lets
    // through, instead of refusing them.
    bool lenient = false;
    CliReport report;
    // --port, --device, --all of the device command that runs.
    DeviceChoice choice;

    CliEnvironment environment;
    // The machine the commands run on, made on first use by PlatformFor().
    std::shared_ptr<DevicePlatform> platform;
    // The simulated machine whose flash goes back into the state file at the end,
    // and that file, locked for the whole run.
    SimMachine* stateMachine = nullptr;
    std::unique_ptr<SimStateFile> stateFile;
    // Where progress is drawn: the real error stream, also with --json.
    std::ostream* progressStream = nullptr;
};

}  // namespace zelv4
