#pragma once

namespace zelv4 {

struct CliContext;
class DevicePlatform;

// The machine every command runs on: the one the environment gives (tests), the
// built-in simulated one with --sim (its flash loaded from the --sim=STATE file),
// the operating system's devices otherwise. Made once per run and kept in the
// context. Null when there is none; the reason has then been reported and the
// exit code set.
DevicePlatform* PlatformFor(CliContext& context);

// What a command says when its result has nowhere to go.
inline constexpr const char* STDOUT_CLOSED = "standard output is closed";

// Commands whose result goes to standard output call this before they start: with
// the process's stdout closed the result would be lost, so they fail instead (exit
// 3, as coreutils do). False when it is closed; that has then been reported.
bool RequireStdout(CliContext& context);

// Puts the simulated flash back into the --sim=STATE file, when this run made a
// machine from one. A failure is reported, and fails a run that had succeeded.
void SaveSimulatedState(CliContext& context);

}  // namespace zelv4
