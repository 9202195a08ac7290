#pragma once

#include <functional>
#include <optional>

#include "cli/CliEnvironment.h"
#include "sys/SignalOwner.h"

namespace zelv4 {

// Ctrl-C (and SIGTERM, SIGHUP) while a command works on devices: counted instead of
// ending the program, so that the command can stop its requests, report, and exit
// with 128 + the signal's number. The signals come from the signal owner, or from
// the environment (tests).
class Interruption {
public:
    // Takes up to `absorbed` stop signals while it lives; the one after ends the
    // program as usual.
    Interruption(const CliEnvironment& environment, unsigned absorbed);

    // Stop signals received so far.
    unsigned Count() const;
    // A stop request for the operations: true once `count` signals came.
    std::function<bool()> After(unsigned count) const;
    // 128 + the first signal's number: 130 for Ctrl-C, 143 for SIGTERM.
    int ExitCode() const;

private:
    std::function<unsigned()> m_count;
    std::optional<SignalOwner::StopScope> m_scope;
};

}  // namespace zelv4
