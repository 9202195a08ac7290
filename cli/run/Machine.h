#pragma once

#include <memory>

#include "cli/CommandResult.h"
#include "cli/GlobalOptions.h"
#include "cli/run/SimStateFile.h"
#include "core/Expected.h"

namespace zelv4 {

class DevicePlatform;
class SimMachine;

// The machine every command runs on: the one the environment gives (tests), the
// built-in simulated one with --sim (its flash loaded from the --sim=STATE file,
// locked for the run), the operating system's devices otherwise. Made on the first
// command that needs it, so that a command without devices loads no device library.
class Machine {
public:
    Machine(const GlobalOptions& options, std::shared_ptr<DevicePlatform> given);
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    ~Machine();

    // The platform, made once; when it cannot be, the command's result says why.
    Expected<DevicePlatform*, CommandResult> Platform();

    // Puts the simulated flash back into the --sim=STATE file, when this run made a
    // machine from one; fails when it cannot.
    Expected<void> SaveState();

private:
    const GlobalOptions& m_options;
    std::shared_ptr<DevicePlatform> m_platform;
    // The simulated machine whose flash goes back into the state file at the end,
    // and that file, locked for the whole run.
    SimMachine* m_stateMachine = nullptr;
    std::unique_ptr<SimStateFile> m_stateFile;
};

}  // namespace zelv4
