#pragma once

namespace zelv4 {

// A stream of bytes read one at a time, as the HEX reader consumes a file. Keeps the
// reader free of files so it can run over memory (tests, fuzzing) as well.
class ByteSource {
public:
    static constexpr int END = -1;

    virtual ~ByteSource() = default;

    // The next byte (0 to 255), or END once the input is exhausted; END repeats.
    virtual int Next() = 0;
};

}  // namespace zelv4
