#pragma once

namespace zelv4 {

// The one place that takes the signals that end a process (on Windows, the console's
// control events). Others register with it instead of installing handlers:
// - clean-ups, run when a signal is about to end the process (a temporary file
//   removed), and
// - a stop request, while which Ctrl-C, SIGTERM and SIGHUP are counted for the
//   program to act on instead of ending it.
// The signals are taken on the first registration; one that the parent chose to
// ignore (nohup) stays ignored, and so does one another handler owns.
class SignalOwner {
public:
    // Must be async-signal-safe: it runs inside the handler, on any thread.
    using Cleanup = void (*)();

    // Runs `cleanup` before any signal ends the process. Registering the same
    // function again does nothing.
    static void AddCleanup(Cleanup cleanup);

    // While one lives, the stop signals are counted instead of ending the process,
    // up to `absorbed` of them; the one after ends it as usual, clean-ups run. Ctrl-C
    // and SIGTERM are taken even when ignored, so that a background job can be
    // stopped. One at a time.
    class StopScope {
    public:
        explicit StopScope(unsigned absorbed);
        ~StopScope();
        StopScope(const StopScope&) = delete;
        StopScope& operator=(const StopScope&) = delete;
    };

    // Stop signals received during the current (or last) stop scope, and the first
    // one's number (SIGINT, SIGTERM, ...; 0: none), for an exit code of 128 + it.
    static unsigned StopCount();
    static int FirstStopSignal();

    // Called by the system's handler: counts a stop signal when a scope absorbs it
    // (true), or runs the clean-ups (false: the caller then ends the process).
    static bool Dispatch(int signal, bool isStopSignal);

private:
    // One per system: takes the signals (once), and Ctrl-C and SIGTERM for a stop
    // scope even when ignored, giving them back as they were when it ends.
    static void TakeSignals();
    static void TakeStopSignals();
    static void ReleaseStopSignals();
};

}  // namespace zelv4
