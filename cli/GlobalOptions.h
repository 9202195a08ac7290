#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zelv4 {

// The options every command shares, as the command line gave them; read-only once
// the arguments are parsed.
struct GlobalOptions {
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
    // --json: one JSON object on stdout instead of the usual text.
    bool json = false;
    // --quiet: draw no progress.
    bool quiet = false;
    // --lenient: read firmware files as the window does, warning about what it lets
    // through, instead of refusing them.
    bool lenient = false;
};

}  // namespace zelv4
