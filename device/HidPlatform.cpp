#include "device/HidPlatform.h"

#include "device/PollingHidMonitor.h"

namespace zelv4 {

std::unique_ptr<HidChangeMonitor> HidPlatform::MonitorChanges()
{
    return std::make_unique<PollingHidMonitor>(*this);
}

}  // namespace zelv4
