#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zelv4 {

class DevicePlatform;

// What a run takes from the world around it besides its arguments and streams.
// main() fills it from the process; tests fill it to run the command line on a
// scripted machine, with a pretend terminal and without real sleeps.
struct CliEnvironment {
    // The machine to run on instead of the one the options choose; null: --sim
    // chooses the simulated machine, otherwise the operating system's devices.
    std::shared_ptr<DevicePlatform> machine;
    // Whether the error stream is a terminal, where progress is drawn; null: it is not.
    std::function<bool()> errIsTerminal;
    // Auto's one-second waits; null: really sleep.
    std::function<void(unsigned milliseconds)> sleep;
    // Whether the user asked watch to stop (Ctrl-C); null: watch takes SIGINT and
    // SIGTERM itself while it runs.
    std::function<bool()> stopRequested;
    // Why the arguments could not all be read exactly (see ReadProgramArguments):
    // the run is then refused as a usage error, as a guessed name could be another file's.
    std::string argumentError;
};

}  // namespace zelv4
