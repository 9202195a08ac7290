#pragma once

#include <array>
#include <streambuf>
#include <string>

#include "core/Expected.h"

namespace zelv4 {

// The process's standard output as a stream buffer that remembers why a write
// failed (a full disk, /dev/full), so that the program can say so and fail instead
// of exiting 0 with its output lost.
class StandardOutput : public std::streambuf {
public:
    StandardOutput();
    ~StandardOutput() override;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    // The system's reason for the first failed write; empty while none failed.
    const std::string& Error() const { return m_error; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool Drain();
    // Writes all of it to the process's standard output, or says why not. One per system.
    static Expected<void> WriteAll(const char* data, std::size_t size);

    std::array<char, 4096> m_buffer{};
    std::string m_error;
};

}  // namespace zelv4
