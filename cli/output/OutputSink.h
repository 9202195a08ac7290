#pragma once

#include <string>

namespace zelv4 {

// The two streams a run's text goes to.
enum class OutputStream { Out, Err };

// Some whole lines of a run's text, and the stream they belong on.
struct OutputText {
    OutputStream stream = OutputStream::Out;
    std::string text;
};

// Where a running command says what it has to say as it happens: the window's
// message boxes, warnings, watch's line per chip. The front end renders it: on the
// terminal at once, or kept for --json's messages.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // `text` is whole lines, each ending in a line break.
    virtual void Write(OutputStream stream, const std::string& text) = 0;
};

}  // namespace zelv4
