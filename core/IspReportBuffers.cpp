#include "core/IspReportBuffers.h"

#include "core/IspConstants.h"

namespace zelv4 {

IspReportBuffers::IspReportBuffers() : m_RequestReport(ISP_REPORT_SIZE, 0), m_ReplyReport(ISP_REPORT_SIZE, 0) {}

void IspReportBuffers::EnsureLength(std::size_t length)
{
    if (length > m_RequestReport.size()) {
        m_RequestReport.resize(length, 0);
        m_ReplyReport.resize(length, 0);
    }
}

}  // namespace zelv4
