#pragma once

namespace zelv4 {

// While one lives, Ctrl-C (SIGINT) and SIGTERM ask the program to stop instead of
// ending it, so that work in progress can finish; a second signal ends it as usual.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static bool Requested();
};

}  // namespace zelv4
