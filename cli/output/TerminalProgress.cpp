#include "cli/output/TerminalProgress.h"

#include <cstdio>

namespace zelv4 {

namespace {

constexpr std::size_t BAR_WIDTH = 40;
// Narrower than this, a bar says nothing: the count alone is drawn.
constexpr std::size_t BAR_MIN_WIDTH = 10;
// The width assumed when the terminal does not say.
constexpr unsigned DEFAULT_COLUMNS = 80;

// Auto's wait has its own line; the other drawn phases get a bar.
const char* BarLabel(OperationPhase phase)
{
    return phase == OperationPhase::WaitForDevice ? nullptr : DrawnPhaseName(phase);
}

// "write  [##########              ] 160/640" within `width` characters, the bar
// shortened (or left out) to fit; a one-step phase (erase) has no count.
std::string Bar(const char* label, std::size_t done, std::size_t total, std::size_t width)
{
    std::string line = label;
    line.resize(7, ' ');
    std::string count;
    if (total > 1) {
        char text[32];
        std::snprintf(text, sizeof text, " %3zu/%zu", done, total);
        count = text;
    }
    const std::size_t room = width > line.size() + count.size() + 2 ? width - line.size() - count.size() - 2 : 0;
    const std::size_t bar = std::min(BAR_WIDTH, room);
    if (bar >= BAR_MIN_WIDTH || total <= 1) {
        const std::size_t filled = total == 0 ? 0 : std::min(done, total) * bar / total;
        line += '[';
        line.append(filled, '#');
        line.append(bar - filled, ' ');
        line += ']';
    }
    return line + count;
}

}  // namespace

TerminalProgress::TerminalProgress(std::ostream& err, std::function<unsigned()> columns)
    : m_err(err), m_columns(std::move(columns))
{}

TerminalProgress::~TerminalProgress()
{
    EndLine();
}

void TerminalProgress::OnProgress(const ProgressEvent& event)
{
    if (const char* label = BarLabel(event.phase)) {
        Draw(Bar(label, event.done, event.total, LineWidth()));
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

std::size_t TerminalProgress::LineWidth() const
{
    const unsigned columns = m_columns ? m_columns() : 0;
    // One column short of the edge: a line that fills the last one would wrap on
    // some terminals, and each redraw would then start a new line.
    return (columns != 0 ? columns : DEFAULT_COLUMNS) - 1;
}

void TerminalProgress::Draw(const std::string& line)
{
    // Every line of a phase has the same width, so redrawing leaves nothing behind.
    m_err << '\r' << line.substr(0, LineWidth());
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
