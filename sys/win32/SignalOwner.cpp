#include "sys/SignalOwner.h"

#include <windows.h>

#include <csignal>
#include <mutex>

namespace zelv4 {

namespace {

// Windows has no signals to end a console program: the console calls this on a
// thread of its own for Ctrl+C, Ctrl+Break, and closing, logoff and shutdown.
// Ctrl+C and Ctrl+Break (taken as SIGINT and SIGBREAK) can be stop requests; the
// others end the process whatever the handler says.
BOOL WINAPI OnControlEvent(DWORD event)
{
    const bool stop = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    const int signal = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
    // FALSE: the next handler, in the end the system's, ends the process.
    return SignalOwner::Dispatch(signal, stop) ? TRUE : FALSE;
}

}  // namespace

void SignalOwner::TakeSignals()
{
    static std::once_flag once;
    std::call_once(once, [] { ::SetConsoleCtrlHandler(OnControlEvent, TRUE); });
}

// A process started with Ctrl+C ignored still takes it for a stop scope, as on
// POSIX systems; it is ignored again afterwards only if it was before, which
// Windows does not tell, so it is left taken.
void SignalOwner::TakeStopSignals()
{
    ::SetConsoleCtrlHandler(nullptr, FALSE);
}

void SignalOwner::ReleaseStopSignals() {}

}  // namespace zelv4
