#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zelv4 {

class DevicePlatform;

// What a run takes from the world around it besides its arguments and streams.
// main() fills it from the process; tests fill it to run the command line on a
// scripted machine, with a pretend terminal.
struct CliEnvironment {
    // The machine to run on instead of the one the options choose; null: --sim
    // chooses the simulated machine, otherwise the operating system's devices.
    std::shared_ptr<DevicePlatform> machine;
    // Whether the error stream is a terminal, where progress is drawn; null: it is not.
    std::function<bool()> errIsTerminal;
    // The terminal's width in columns, which progress lines stay within; null or 0:
    // unknown (80 is assumed).
    std::function<unsigned()> errColumns;
    // The process was started with its standard output closed: a command whose
    // result goes there fails instead of losing it.
    bool stdoutClosed = false;
    // How many times the user asked a device command to stop (Ctrl-C) so far; null:
    // the process's signals count, through the signal owner.
    std::function<unsigned()> stopSignals;
    // Why the arguments could not all be read exactly (see ReadProgramArguments):
    // the run is then refused as a usage error, as a guessed name could be another file's.
    std::string argumentError;
};

}  // namespace zelv4
