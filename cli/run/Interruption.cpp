#include "cli/run/Interruption.h"

#include <csignal>

namespace zelv4 {

Interruption::Interruption(const CliEnvironment& environment, unsigned absorbed) : m_count(environment.stopSignals)
{
    if (!m_count) {
        m_scope.emplace(absorbed);
        m_count = &SignalOwner::StopCount;
    }
}

unsigned Interruption::Count() const
{
    return m_count();
}

std::function<bool()> Interruption::After(unsigned count) const
{
    return [this, count] { return Count() >= count; };
}

int Interruption::ExitCode() const
{
    const int signal = m_scope ? SignalOwner::FirstStopSignal() : 0;
    return 128 + (signal != 0 ? signal : SIGINT);
}

}  // namespace zelv4
