#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/FirmwareImage.h"
#include "core/HidTransport.h"
#include "core/IspConstants.h"

namespace zelv4 {

// One HID call as the loader saw it: exactly the bytes and length passed.
struct SimTransfer {
    enum class Kind { Set, Get };
    Kind kind = Kind::Set;
    std::size_t length = 0;
    std::vector<std::uint8_t> bytes;  // Set: what was sent; Get: what was returned
    bool ok = false;
};

// A simulated ZEL-V4 ISP loader behind the feature-report transport.
//
// Loader behaviour modelled here:
// - flash starts erased (0xFF); mass erase sets every byte to 0xFF;
// - a block write programs like NOR flash: bits only go from 1 to 0, so writing
//   over unerased flash gives the AND of old and new content;
// - byte 4 (the data length) of a write request is not checked: Auto never sets it;
// - a read request selects the block that the next get-feature returns in bytes 9 to 40;
// - after leave-ISP the loader is gone and every further call fails;
// - a call whose length differs from the declared feature report length fails, as
//   does a report ID other than 0, a block address that is unaligned or past the
//   flash, and a get-feature with no read request before it.
class SimIspLoader : public HidTransport {
public:
    explicit SimIspLoader(std::size_t featureReportLength = ISP_REPORT_SIZE);

    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    bool GetFeature(std::uint8_t* report, std::size_t length) override;

    std::size_t FeatureReportLength() const { return m_length; }
    FirmwareImage& Flash() { return m_flash; }
    const FirmwareImage& Flash() const { return m_flash; }
    bool InIsp() const { return m_inIsp; }
    void Reenter() { m_inIsp = true; }

    const std::vector<SimTransfer>& Transfers() const { return m_transfers; }
    void ClearTransfers() { m_transfers.clear(); }

    // Fault injection: make the Nth call of that kind (counting from 1, over the
    // loader's life) fail. 0 disables.
    void FailSetAt(std::size_t n) { m_failSetAt = n; }
    void FailGetAt(std::size_t n) { m_failGetAt = n; }
    std::size_t SetCount() const { return m_setCount; }
    std::size_t GetCount() const { return m_getCount; }

private:
    bool Execute(const std::uint8_t* report);

    std::size_t m_length;
    FirmwareImage m_flash;
    bool m_inIsp = true;
    bool m_readPending = false;
    std::size_t m_readAddress = 0;
    std::vector<SimTransfer> m_transfers;
    std::size_t m_failSetAt = 0;
    std::size_t m_failGetAt = 0;
    std::size_t m_setCount = 0;
    std::size_t m_getCount = 0;
};

}  // namespace zelv4
