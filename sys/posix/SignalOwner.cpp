#include "sys/SignalOwner.h"

#include <signal.h>

#include <cerrno>
#include <mutex>

namespace zelv4 {

namespace {

// Every signal whose default action ends the process, and that a program may get
// without a bug of its own (not SEGV and the like, where nothing is safe to do).
constexpr int TERMINATING_SIGNALS[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGUSR1,   SIGUSR2,
                                       SIGPIPE, SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF};
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

bool IsStopSignal(int signal)
{
    return signal == SIGINT || signal == SIGTERM || signal == SIGHUP;
}

extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    if (!SignalOwner::Dispatch(signal, IsStopSignal(signal))) {
        // Blocked while this handler runs: the default action ends the process as
        // soon as it returns, with the signal's own status.
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        ::sigaction(signal, &standard, nullptr);
        ::raise(signal);
    }
    errno = saved;
}

struct sigaction OwnAction()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // A system call that a stop request interrupts goes on; the program looks at the
    // request when it is ready to.
    action.sa_flags = SA_RESTART;
    return action;
}

// What the stop signals were before the scope took them.
struct sigaction s_beforeStop[sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0]];

}  // namespace

void SignalOwner::TakeSignals()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const struct sigaction own = OwnAction();
        for (const int signal : TERMINATING_SIGNALS) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
                (current.sa_flags & SA_SIGINFO) == 0)
                ::sigaction(signal, &own, nullptr);
        }
    });
}

void SignalOwner::TakeStopSignals()
{
    const struct sigaction own = OwnAction();
    for (std::size_t i = 0; i < std::size(STOP_SIGNALS); ++i) {
        struct sigaction& before = s_beforeStop[i];
        if (::sigaction(STOP_SIGNALS[i], nullptr, &before) != 0)
            continue;
        // A hangup the parent chose to ignore (nohup) stays ignored.
        if (STOP_SIGNALS[i] == SIGHUP && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(STOP_SIGNALS[i], &own, nullptr);
    }
}

void SignalOwner::ReleaseStopSignals()
{
    for (std::size_t i = 0; i < std::size(STOP_SIGNALS); ++i)
        ::sigaction(STOP_SIGNALS[i], &s_beforeStop[i], nullptr);
}

}  // namespace zelv4
