#pragma once

#include "core/HidTransport.h"

namespace zelv4 {

// The open ISP loader as the page reaches it: WebHID's sendFeatureReport and
// receiveFeatureReport, awaited through Asyncify so that the operations stay the
// same synchronous code as everywhere else.
//
// WebHID quirks this relies on: a feature report goes out with exactly the length
// the device's descriptor declares (a padded buffer is refused inside the browser
// with nothing sent), so `length` must be that length plus the report ID byte; the
// reply comes without its report ID; errors carry no errno, and a device unplugged
// mid-run may still say it is open, so every rejection is a failed transfer.
class WebHidTransport : public HidTransport {
public:
    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    bool GetFeature(std::uint8_t* report, std::size_t length) override;
};

}  // namespace zelv4
