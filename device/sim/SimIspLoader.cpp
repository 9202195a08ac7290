#include "device/sim/SimIspLoader.h"

#include <algorithm>
#include <thread>

namespace zelv4 {

SimIspLoader::SimIspLoader(std::size_t featureReportLength) : m_length(featureReportLength)
{
    m_flash.fill(0xFF);
}

bool SimIspLoader::InIsp() const
{
    std::lock_guard lock(m_mutex);
    return m_inIsp;
}

void SimIspLoader::Reenter()
{
    std::function<void()> changed;
    {
        std::lock_guard lock(m_mutex);
        m_inIsp = true;
        m_unplugged = false;
        m_unplugAt.reset();
        changed = m_onIspChange;
    }
    if (changed)
        changed();
}

void SimIspLoader::Unplug()
{
    std::lock_guard lock(m_mutex);
    m_unplugged = true;
}

void SimIspLoader::UnplugAt(std::chrono::steady_clock::time_point at)
{
    std::lock_guard lock(m_mutex);
    m_unplugAt = at;
}

void SimIspLoader::SetOnIspChange(std::function<void()> changed)
{
    std::lock_guard lock(m_mutex);
    m_onIspChange = std::move(changed);
}

std::optional<std::chrono::steady_clock::time_point> SimIspLoader::FirstTransferTime() const
{
    std::lock_guard lock(m_mutex);
    return m_firstCall;
}

void SimIspLoader::BeginCall()
{
    {
        std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!m_firstCall)
            m_firstCall = now;
        if (m_unplugAt && now >= *m_unplugAt)
            m_unplugged = true;
    }
    // Some systems round a sleep shorter than their tick down to nothing (MinGW's
    // sleep under Wine does for 200 us), so sleep until the call's end is reached.
    if (m_delay.count() > 0) {
        const auto end = std::chrono::steady_clock::now() + m_delay;
        for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now())
            std::this_thread::sleep_for(end - now);
    }
}

bool SimIspLoader::SetFeature(const std::uint8_t* report, std::size_t length)
{
    BeginCall();
    bool left = false;
    std::function<void()> changed;
    {
        std::lock_guard lock(m_mutex);
        const bool admitted = Admits(Call::Set);
        bool ok = admitted && m_inIsp && !m_unplugged && length == m_length && length >= ISP_REPORT_SIZE &&
                  report[ISP_OFFSET_REPORT_ID] == ISP_REPORT_ID;
        if (ok) {
            ok = Execute(report);
            left = !m_inIsp;
        }
        Ended(Call::Set, std::span(report, length), ok);
        if (left)
            changed = m_onIspChange;
        if (!left)
            return ok;
    }
    if (changed)
        changed();
    return true;
}

bool SimIspLoader::Execute(const std::uint8_t* report)
{
    const std::size_t address = (std::size_t{report[ISP_OFFSET_ADDRESS_HIGH]} << 8) | report[ISP_OFFSET_ADDRESS_LOW];
    const bool addressValid = address % ISP_BLOCK_SIZE == 0 && address + ISP_BLOCK_SIZE <= ISP_IMAGE_SIZE;
    m_readPending = false;
    switch (report[ISP_OFFSET_COMMAND]) {
    case ISP_CMD_MASS_ERASE:
        m_flash.fill(0xFF);
        return true;
    case ISP_CMD_WRITE_BLOCK:
        if (!addressValid)
            return false;
        for (std::size_t i = 0; i < ISP_BLOCK_SIZE; ++i)
            m_flash[address + i] &= report[ISP_OFFSET_DATA + i];
        return true;
    case ISP_CMD_READ_BLOCK:
        if (!addressValid)
            return false;
        m_readPending = true;
        m_readAddress = address;
        return true;
    case ISP_CMD_EXIT_ISP:
        m_inIsp = false;
        return true;
    default:
        return false;
    }
}

bool SimIspLoader::GetFeature(std::uint8_t* report, std::size_t length)
{
    BeginCall();
    std::lock_guard lock(m_mutex);
    const bool admitted = Admits(Call::Get);
    const bool ok = admitted && m_inIsp && !m_unplugged && length == m_length && length >= ISP_REPORT_SIZE &&
                    report[ISP_OFFSET_REPORT_ID] == ISP_REPORT_ID && m_readPending;
    if (ok) {
        report[ISP_OFFSET_COMMAND] = ISP_CMD_READ_BLOCK;
        report[ISP_OFFSET_ADDRESS_HIGH] = static_cast<std::uint8_t>(m_readAddress >> 8);
        report[ISP_OFFSET_ADDRESS_LOW] = static_cast<std::uint8_t>(m_readAddress & 0xFF);
        std::fill(report + ISP_OFFSET_DATA_LENGTH, report + ISP_OFFSET_DATA, std::uint8_t{0});
        std::copy_n(m_flash.begin() + static_cast<std::ptrdiff_t>(m_readAddress), ISP_BLOCK_SIZE,
                    report + ISP_OFFSET_DATA);
        std::fill(report + ISP_OFFSET_DATA + ISP_BLOCK_SIZE, report + length, std::uint8_t{0});
        m_readPending = false;
    }
    Ended(Call::Get, std::span<const std::uint8_t>(report, length), ok);
    return ok;
}

}  // namespace zelv4
