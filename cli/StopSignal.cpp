#include "cli/StopSignal.h"

#include <csignal>

namespace zelv4 {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

extern "C" void OnStopSignal(int signal)
{
    g_stopRequested = 1;
    // The next one ends the program.
    std::signal(signal, SIG_DFL);
}

using Handler = void (*)(int);
Handler g_previousInterrupt = SIG_DFL;
Handler g_previousTerminate = SIG_DFL;

}  // namespace

StopSignal::StopSignal()
{
    g_stopRequested = 0;
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
    return g_stopRequested != 0;
}

}  // namespace zelv4
