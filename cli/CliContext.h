#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace zelv4 {

class DevicePlatform;

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
    // The machine the commands run on, made on first use by PlatformFor().
    std::shared_ptr<DevicePlatform> platform;
};

}  // namespace zelv4
