#pragma once

#include <string>
#include <vector>

#include "cli/output/OutputSink.h"

namespace zelv4 {

// A run's text kept in order instead of shown: --json's messages, and what a worker
// of --all or watch would have said, for its device's result.
class CapturedOutput : public OutputSink {
public:
    void Write(OutputStream stream, const std::string& text) override;

    // Everything written, in order.
    std::string Text() const;
    // Only what went to `stream`.
    std::string Text(OutputStream stream) const;

private:
    std::vector<OutputText> m_texts;
};

}  // namespace zelv4
