#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "core/ProgressSink.h"

namespace zelv4 {

// Progress on a terminal: one bar per block phase (erase, write k/640, verify k/640,
// read k/640) redrawn in place with a carriage return, and a countdown while Auto
// waits for the ISP device. Each drawn line is ended before the operation's message.
class TerminalProgress : public ProgressSink {
public:
    // `columns` tells the terminal's width, asked at every line (null or 0: 80);
    // no line reaches the last column.
    explicit TerminalProgress(std::ostream& err, std::function<unsigned()> columns = {});
    ~TerminalProgress() override;

    void OnProgress(const ProgressEvent& event) override;
    void OnPhaseEnd(OperationPhase phase, bool succeeded) override;

private:
    std::size_t LineWidth() const;
    void Draw(const std::string& line);
    void EndLine();

    std::ostream& m_err;
    std::function<unsigned()> m_columns;
    bool m_lineOpen = false;
};

}  // namespace zelv4
