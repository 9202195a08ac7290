#pragma once

#include <memory>
#include <string>

#include "device/HidChangeMonitor.h"

#include "device/linux/UdevApi.h"

namespace zelv4 {

// hidraw nodes coming and going, from udev's events: sent once udev has applied
// its rules, so a node announced here already has the permissions it will get.
class UdevHidMonitor : public HidChangeMonitor {
public:
    // Null when udev's monitor cannot be had. `devDir` prefixes the node names, as
    // the hidraw platform names its interfaces.
    static std::unique_ptr<UdevHidMonitor> Create(const UdevApi& api, const std::string& devDir);
    ~UdevHidMonitor() override;
    UdevHidMonitor(const UdevHidMonitor&) = delete;
    UdevHidMonitor& operator=(const UdevHidMonitor&) = delete;

    std::vector<HidChange> Wait(std::chrono::milliseconds timeout) override;
    void Wake() override;

private:
    UdevHidMonitor(const UdevApi& api, udev* context, udev_monitor* monitor, int wakeFd, std::string devDir);
    void Drain(std::vector<HidChange>& changes);

    const UdevApi& m_api;
    udev* m_udev;
    udev_monitor* m_monitor;
    int m_wakeFd;
    std::string m_devDir;
};

}  // namespace zelv4
