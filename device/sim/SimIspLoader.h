#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "core/FirmwareImage.h"
#include "core/HidTransport.h"
#include "core/IspConstants.h"

namespace zelv4 {

// A simulated ZEL-V4 ISP loader behind the feature-report transport.
//
// Loader behaviour modelled here:
// - flash starts erased (0xFF); mass erase sets every byte to 0xFF;
// - a block write programs like NOR flash: bits only go from 1 to 0, so writing
//   over unerased flash gives the AND of old and new content;
// - byte 4 (the data length) of a write request is not checked: Auto never sets it;
// - a read request selects the block that the next get-feature returns in bytes 9 to 40;
// - after leave-ISP the loader is gone and every further call fails, as after an
//   unplug;
// - each call takes the transfer delay when one is set (1 ms: a full-speed frame);
// - a call whose length differs from the declared feature report length fails, as
//   does a report ID other than 0, a block address that is unaligned or past the
//   flash, and a get-feature with no read request before it.
//
// The calls may come from any thread; the accessors of the flash are for when no
// call is under way. A test's loader (tests/support) logs the calls and makes chosen
// ones fail.
class SimIspLoader : public HidTransport {
public:
    enum class Call { Set, Get };

    explicit SimIspLoader(std::size_t featureReportLength = ISP_REPORT_SIZE);

    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    bool GetFeature(std::uint8_t* report, std::size_t length) override;

    std::size_t FeatureReportLength() const { return m_length; }
    FirmwareImage& Flash() { return m_flash; }
    const FirmwareImage& Flash() const { return m_flash; }
    bool InIsp() const;
    void Reenter();
    // The chip is unplugged: every call fails from now on (or from `at` on),
    // whoever holds it.
    void Unplug();
    void UnplugAt(std::chrono::steady_clock::time_point at);
    // Called, outside the loader's lock, whenever InIsp changes.
    void SetOnIspChange(std::function<void()> changed);

    // How long each call takes; zero: no time at all.
    void SetTransferDelay(std::chrono::microseconds delay) { m_delay = delay; }
    // When the first call of the loader's life began.
    std::optional<std::chrono::steady_clock::time_point> FirstTransferTime() const;

protected:
    // Whether a call may go through at all, asked once per call, in order: a test's
    // loader makes chosen ones fail, as a disturbed bus would. With the loader's lock
    // held.
    virtual bool Admits(Call /*call*/) { return true; }
    // Each call as it ended: the bytes passed (a get's as returned) and whether it
    // succeeded. With the loader's lock held.
    virtual void Ended(Call /*call*/, std::span<const std::uint8_t> /*bytes*/, bool /*ok*/) {}

private:
    bool Execute(const std::uint8_t* report);
    void BeginCall();

    mutable std::mutex m_mutex;
    std::function<void()> m_onIspChange;
    std::chrono::microseconds m_delay{0};
    std::optional<std::chrono::steady_clock::time_point> m_firstCall;
    std::size_t m_length;
    FirmwareImage m_flash;
    bool m_inIsp = true;
    bool m_unplugged = false;
    std::optional<std::chrono::steady_clock::time_point> m_unplugAt;
    bool m_readPending = false;
    std::size_t m_readAddress = 0;
};

}  // namespace zelv4
