#include "cli/TerminalProgress.h"

#include <cstdio>

namespace zelv4 {

namespace {

constexpr std::size_t BAR_WIDTH = 40;

const char* BarLabel(OperationPhase phase)
{
    switch (phase) {
    case OperationPhase::Erase:
        return "erase";
    case OperationPhase::Write:
        return "write";
    case OperationPhase::Verify:
        return "verify";
    case OperationPhase::Read:
        return "read";
    default:
        return nullptr;
    }
}

// "write  [##########              ] 160/640"; a one-step phase (erase) has no count.
std::string Bar(const char* label, std::size_t done, std::size_t total)
{
    const std::size_t filled = total == 0 ? 0 : std::min(done, total) * BAR_WIDTH / total;
    std::string line = label;
    line.resize(7, ' ');
    line += '[';
    line.append(filled, '#');
    line.append(BAR_WIDTH - filled, ' ');
    line += ']';
    if (total > 1) {
        char count[32];
        std::snprintf(count, sizeof count, " %3zu/%zu", done, total);
        line += count;
    }
    return line;
}

}  // namespace

TerminalProgress::TerminalProgress(std::ostream& err) : m_err(err) {}

TerminalProgress::~TerminalProgress()
{
    EndLine();
}

void TerminalProgress::OnProgress(const ProgressEvent& event)
{
    if (const char* label = BarLabel(event.phase)) {
        Draw(Bar(label, event.done, event.total));
    } else if (event.phase == OperationPhase::WaitForDevice) {
        // One attempt per second: what is left of the total is the countdown.
        char line[96];
        std::snprintf(line, sizeof line, "waiting for the ISP device: %2zu s left (attempt %2zu of %zu)",
                      event.total - std::min(event.done, event.total), event.done, event.total);
        Draw(line);
    }
}

void TerminalProgress::OnPhaseEnd(OperationPhase /*phase*/, bool /*succeeded*/)
{
    EndLine();
}

void TerminalProgress::Draw(const std::string& line)
{
    // Every line of a phase has the same width, so redrawing leaves nothing behind.
    m_err << '\r' << line;
    m_err.flush();
    m_lineOpen = true;
}

void TerminalProgress::EndLine()
{
    if (!m_lineOpen)
        return;
    m_err << '\n';
    m_err.flush();
    m_lineOpen = false;
}

}  // namespace zelv4
