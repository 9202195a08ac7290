#pragma once

#include <ostream>

#include "cli/output/OutputSink.h"

namespace zelv4 {

// A run's text on the process's streams, each piece handed on at once, so that
// standard output and standard error keep their order on one terminal.
class TextOutput : public OutputSink {
public:
    TextOutput(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    void Write(OutputStream stream, const std::string& text) override;

private:
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace zelv4
