#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelv4 {

// The request and reply buffers that live as long as the window and are reused by
// every request. A request writes only its own bytes; the rest keep what earlier
// requests left there (the loader sees those stale bytes, so this is observable).
class IspReportBuffers {
public:
    IspReportBuffers();

    // A device may declare a feature report longer than 41 bytes; every transfer
    // passes that length, so both buffers grow to it (keeping their content) and no
    // transfer reads or writes past their end.
    void EnsureLength(std::size_t length);

    std::uint8_t* Request() { return m_RequestReport.data(); }
    std::uint8_t* Reply() { return m_ReplyReport.data(); }
    const std::vector<std::uint8_t>& RequestBytes() const { return m_RequestReport; }
    const std::vector<std::uint8_t>& ReplyBytes() const { return m_ReplyReport; }
    std::size_t Size() const { return m_RequestReport.size(); }

private:
    std::vector<std::uint8_t> m_RequestReport;
    std::vector<std::uint8_t> m_ReplyReport;
};

}  // namespace zelv4
