#pragma once

#include <ostream>
#include <string>

#include "core/ProgressSink.h"

namespace zelv4 {

// Progress on a terminal: one bar per block phase (erase, write k/640, verify k/640,
// read k/640) redrawn in place with a carriage return, and a countdown while Auto
// waits for the ISP device. Each drawn line is ended before the operation's message.
class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(std::ostream& err);
    ~TerminalProgress() override;

    void OnProgress(const ProgressEvent& event) override;
    void OnPhaseEnd(OperationPhase phase, bool succeeded) override;

private:
    void Draw(const std::string& line);
    void EndLine();

    std::ostream& m_err;
    bool m_lineOpen = false;
};

}  // namespace zelv4
