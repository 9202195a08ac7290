#include "cli/StopSignal.h"

#include <atomic>
#include <csignal>

namespace zelv4 {

namespace {

// Set by the handler, read by the station's thread: a lock-free atomic is both
// signal-safe and free of a data race.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signal)
{
    g_stopRequested = true;
    // The next one ends the program.
    std::signal(signal, SIG_DFL);
}

using Handler = void (*)(int);
Handler g_previousInterrupt = SIG_DFL;
Handler g_previousTerminate = SIG_DFL;

}  // namespace

StopSignal::StopSignal()
{
    g_stopRequested = false;
    g_previousInterrupt = std::signal(SIGINT, OnStopSignal);
    g_previousTerminate = std::signal(SIGTERM, OnStopSignal);
}

StopSignal::~StopSignal()
{
    std::signal(SIGINT, g_previousInterrupt == SIG_ERR ? SIG_DFL : g_previousInterrupt);
    std::signal(SIGTERM, g_previousTerminate == SIG_ERR ? SIG_DFL : g_previousTerminate);
}

bool StopSignal::Requested()
{
    return g_stopRequested;
}

}  // namespace zelv4
