#pragma once

namespace zelv4 {

struct CliContext;
class DevicePlatform;
class SimMachine;

// The machine every command runs on: the built-in simulated one with --sim, the
// operating system's devices otherwise. Made once per run and kept in the context.
// Null only when this system has no device backend.
DevicePlatform* PlatformFor(CliContext& context);

// The simulated machine of this run, or null when the run is not simulated.
SimMachine* SimulatedMachineFor(CliContext& context);

}  // namespace zelv4
