#include "sys/SignalOwner.h"

#include <array>
#include <atomic>

namespace zelv4 {

namespace {

// Everything the handler reads is a lock-free atomic: safe in a handler and free
// of data races with the threads that register.
constexpr std::size_t MAX_CLEANUPS = 8;
std::array<std::atomic<SignalOwner::Cleanup>, MAX_CLEANUPS> s_cleanups{};
static_assert(std::atomic<SignalOwner::Cleanup>::is_always_lock_free);

std::atomic<bool> s_stopScope{false};
std::atomic<unsigned> s_absorbed{0};
std::atomic<unsigned> s_stopCount{0};
std::atomic<int> s_firstStop{0};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void RunCleanups()
{
    for (const std::atomic<SignalOwner::Cleanup>& slot : s_cleanups)
        if (const SignalOwner::Cleanup cleanup = slot.load())
            cleanup();
}

}  // namespace

void SignalOwner::AddCleanup(Cleanup cleanup)
{
    for (std::atomic<Cleanup>& slot : s_cleanups) {
        Cleanup expected = nullptr;
        if (slot.load() == cleanup || slot.compare_exchange_strong(expected, cleanup))
            break;
    }
    TakeSignals();
}

SignalOwner::StopScope::StopScope(unsigned absorbed)
{
    s_stopCount = 0;
    s_firstStop = 0;
    s_absorbed = absorbed;
    TakeSignals();
    TakeStopSignals();
    s_stopScope = true;
}

SignalOwner::StopScope::~StopScope()
{
    s_stopScope = false;
    ReleaseStopSignals();
}

unsigned SignalOwner::StopCount()
{
    return s_stopCount;
}

int SignalOwner::FirstStopSignal()
{
    return s_firstStop;
}

bool SignalOwner::Dispatch(int signal, bool isStopSignal)
{
    if (isStopSignal && s_stopScope) {
        int none = 0;
        s_firstStop.compare_exchange_strong(none, signal);
        if (s_stopCount.fetch_add(1) < s_absorbed)
            return true;
    }
    RunCleanups();
    return false;
}

}  // namespace zelv4
