#include "device/sim/SimHidPlatform.h"

#include "core/IspConstants.h"
#include "device/sim/SimIspLoader.h"

#include <algorithm>

namespace zelv4 {

namespace {

class SimHidList : public HidInterfaceList {
public:
    explicit SimHidList(std::vector<std::string> listed) : m_listed(std::move(listed)) {}

    bool EnumInterface(unsigned index) override { return index < m_listed.size(); }

    std::optional<std::string> InterfacePath(unsigned index) override
    {
        if (index >= m_listed.size())
            return std::nullopt;
        return m_listed[index];
    }

private:
    // What was present when the list was taken, as the platform's snapshot.
    std::vector<std::string> m_listed;
};

class SimHidHandle : public HidDeviceHandle {
public:
    SimHidHandle(const SimHidInterface& hidInterface, std::shared_ptr<SimHidShared> shared)
        : m_interface(hidInterface), m_shared(std::move(shared))
    {}
    ~SimHidHandle() override
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_locked)
            m_shared->locks.erase(m_interface.path);
    }

    bool LockExclusive() override
    {
        if (m_locked)
            return true;
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->locks.insert(m_interface.path).second)
            return false;
        m_locked = true;
        return true;
    }

    bool LockedElsewhere() override
    {
        std::lock_guard lock(m_shared->mutex);
        return !m_locked && m_shared->locks.count(m_interface.path) != 0;
    }

    bool SetFeature(const std::uint8_t* report, std::size_t length) override
    {
        return m_interface.loader && m_interface.loader->SetFeature(report, length);
    }

    bool GetFeature(std::uint8_t* report, std::size_t length) override
    {
        return m_interface.loader && m_interface.loader->GetFeature(report, length);
    }

    bool GetAttributes(HidAttributes& attributes) override
    {
        attributes.VendorID = m_interface.vendorId;
        attributes.ProductID = m_interface.productId;
        attributes.VersionNumber = m_interface.versionNumber;
        return true;
    }

    bool GetPreparsedData() override
    {
        m_preparsed = true;
        return true;
    }

    bool GetCaps(HidCaps& caps) override
    {
        if (!m_preparsed)
            return false;
        caps = m_interface.caps;
        return true;
    }

private:
    SimHidInterface m_interface;
    std::shared_ptr<SimHidShared> m_shared;
    bool m_locked = false;
    bool m_preparsed = false;
};

}  // namespace

// Compares what is listed with what was listed at the last report; woken by every
// change the platform or a loader makes, and at the next scripted time.
class SimHidMonitor : public HidChangeMonitor {
public:
    explicit SimHidMonitor(SimHidPlatform& platform) : m_platform(platform)
    {
        std::lock_guard lock(m_platform.m_shared->mutex);
        m_platform.RunDue();
        m_listed = m_platform.ListedNow();
    }

    std::vector<HidChange> Wait(std::chrono::milliseconds timeout) override
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        SimHidShared& shared = *m_platform.m_shared;
        std::unique_lock lock(shared.mutex);
        for (;;) {
            m_platform.RunDue();
            const std::map<std::string, unsigned> listed = m_platform.ListedNow();
            std::vector<HidChange> changes;
            for (const auto& [path, generation] : m_listed) {
                const auto now = listed.find(path);
                if (now == listed.end() || now->second != generation)
                    changes.push_back({HidChange::Kind::Removed, path});
            }
            for (const auto& [path, generation] : listed) {
                const auto before = m_listed.find(path);
                if (before == m_listed.end() || before->second != generation)
                    changes.push_back({HidChange::Kind::Added, path});
            }
            m_listed = listed;
            if (!changes.empty())
                return changes;
            if (m_wake) {
                m_wake = false;
                return {};
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                return {};
            const auto next = m_platform.NextScheduled();
            shared.changed.wait_until(lock, next && *next < deadline ? *next : deadline);
        }
    }

    void Wake() override
    {
        SimHidShared& shared = *m_platform.m_shared;
        {
            std::lock_guard lock(shared.mutex);
            m_wake = true;
        }
        shared.changed.notify_all();
    }

private:
    SimHidPlatform& m_platform;
    std::map<std::string, unsigned> m_listed;
    bool m_wake = false;
};

SimHidInterface SimHidInterface::IspLoader(std::string path, std::shared_ptr<SimIspLoader> loader)
{
    SimHidInterface result;
    result.path = std::move(path);
    result.vendorId = ISP_VENDOR_ID;
    result.productId = ISP_PRODUCT_ID;
    result.versionNumber = 0x0100;
    // The loader's one vendor-defined top collection with a feature report only.
    result.caps.Usage = 0x0001;
    result.caps.UsagePage = 0xFF00;
    result.caps.FeatureReportByteLength =
        static_cast<std::uint16_t>(loader ? loader->FeatureReportLength() : ISP_REPORT_SIZE);
    result.caps.NumberLinkCollectionNodes = 1;
    result.caps.NumberFeatureValueCaps = 1;
    result.caps.NumberFeatureDataIndices = 1;
    result.loader = std::move(loader);
    return result;
}

SimHidInterface SimHidInterface::Other(std::string path, std::uint16_t vendorId, std::uint16_t productId,
                                       std::uint16_t featureLength)
{
    SimHidInterface result;
    result.path = std::move(path);
    result.vendorId = vendorId;
    result.productId = productId;
    result.caps.Usage = 0x0006;  // a keyboard on the generic desktop page
    result.caps.UsagePage = 0x0001;
    result.caps.InputReportByteLength = 9;
    result.caps.OutputReportByteLength = 2;
    result.caps.FeatureReportByteLength = featureLength;
    result.caps.NumberLinkCollectionNodes = 1;
    result.caps.NumberInputButtonCaps = 2;
    result.caps.NumberOutputButtonCaps = 1;
    return result;
}

SimHidPlatform::SimHidPlatform() : m_shared(std::make_shared<SimHidShared>()), m_start(std::chrono::steady_clock::now())
{}

std::size_t SimHidPlatform::Add(SimHidInterface hidInterface)
{
    std::lock_guard lock(m_shared->mutex);
    PlugNow(std::move(hidInterface), false);
    return m_interfaces.size() - 1;
}

void SimHidPlatform::PlugNow(SimHidInterface hidInterface, bool replace)
{
    if (hidInterface.loader) {
        // A loader leaving or re-entering ISP mode makes its interface go or come.
        std::weak_ptr<SimHidShared> shared = m_shared;
        hidInterface.loader->SetOnIspChange([shared] {
            if (const auto alive = shared.lock()) {
                std::lock_guard lock(alive->mutex);
                alive->changed.notify_all();
            }
        });
    }
    m_generations.resize(m_interfaces.size());
    for (std::size_t i = 0; replace && i < m_interfaces.size(); ++i) {
        if (m_interfaces[i].path == hidInterface.path) {
            m_interfaces[i] = std::move(hidInterface);
            m_generations[i] = ++m_nextGeneration;
            m_shared->changed.notify_all();
            return;
        }
    }
    m_interfaces.push_back(std::move(hidInterface));
    m_generations.push_back(++m_nextGeneration);
    m_shared->changed.notify_all();
}

void SimHidPlatform::Plug(SimHidInterface hidInterface, std::chrono::milliseconds after)
{
    std::lock_guard lock(m_shared->mutex);
    if (after.count() <= 0) {
        PlugNow(std::move(hidInterface), true);
        return;
    }
    m_scheduled.push_back({m_start + after, true, std::move(hidInterface), {}});
    m_shared->changed.notify_all();
}

void SimHidPlatform::Unplug(const std::string& path, std::chrono::milliseconds after)
{
    std::lock_guard lock(m_shared->mutex);
    // A chip in use fails its transfers from then on, as a real one would, even
    // while nobody asks the platform for anything.
    for (const SimHidInterface& hidInterface : m_interfaces)
        if (hidInterface.path == path && hidInterface.loader)
            hidInterface.loader->UnplugAt(m_start + after);
    m_scheduled.push_back({m_start + after, false, {}, path});
    RunDue();
    m_shared->changed.notify_all();
}

void SimHidPlatform::RunDue()
{
    const auto now = std::chrono::steady_clock::now();
    std::stable_sort(m_scheduled.begin(), m_scheduled.end(),
                     [](const Scheduled& a, const Scheduled& b) { return a.at < b.at; });
    while (!m_scheduled.empty() && m_scheduled.front().at <= now) {
        Scheduled event = std::move(m_scheduled.front());
        m_scheduled.erase(m_scheduled.begin());
        if (event.plug) {
            PlugNow(std::move(event.hidInterface), true);
            continue;
        }
        m_generations.resize(m_interfaces.size());
        for (std::size_t i = 0; i < m_interfaces.size(); ++i) {
            if (m_interfaces[i].path == event.path) {
                // Handles still open on it fail from now on, as on a real unplug.
                if (m_interfaces[i].loader)
                    m_interfaces[i].loader->Unplug();
                m_interfaces.erase(m_interfaces.begin() + static_cast<std::ptrdiff_t>(i));
                m_generations.erase(m_generations.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
}

std::optional<std::chrono::steady_clock::time_point> SimHidPlatform::NextScheduled() const
{
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const Scheduled& event : m_scheduled)
        if (!next || event.at < *next)
            next = event.at;
    return next;
}

std::map<std::string, unsigned> SimHidPlatform::ListedNow() const
{
    std::map<std::string, unsigned> listed;
    for (std::size_t i = 0; i < m_interfaces.size(); ++i)
        if (Listed(m_interfaces[i]))
            listed[m_interfaces[i].path] = i < m_generations.size() ? m_generations[i] : 0;
    return listed;
}

bool SimHidPlatform::Listed(const SimHidInterface& hidInterface) const
{
    if (!Attached(hidInterface))
        return false;
    return !hidInterface.loader || hidInterface.loader->InIsp();
}

std::unique_ptr<HidInterfaceList> SimHidPlatform::GetClassDevices()
{
    std::vector<std::string> listed;
    {
        std::lock_guard lock(m_shared->mutex);
        RunDue();
        for (const SimHidInterface& hidInterface : m_interfaces)
            if (Listed(hidInterface))
                listed.push_back(hidInterface.path);
        Searched();
        // An interface scripted to appear after so many searches now may.
        m_shared->changed.notify_all();
    }
    return std::make_unique<SimHidList>(std::move(listed));
}

const SimHidInterface* SimHidPlatform::Find(const std::string& path) const
{
    for (const SimHidInterface& hidInterface : m_interfaces)
        if (hidInterface.path == path && Listed(hidInterface))
            return &hidInterface;
    return nullptr;
}

std::optional<HidAttributes> SimHidPlatform::PeekAttributes(const std::string& path)
{
    std::lock_guard lock(m_shared->mutex);
    RunDue();
    const SimHidInterface* hidInterface = Find(path);
    if (hidInterface == nullptr)
        return std::nullopt;
    HidAttributes attributes;
    attributes.VendorID = hidInterface->vendorId;
    attributes.ProductID = hidInterface->productId;
    attributes.VersionNumber = hidInterface->versionNumber;
    return attributes;
}

std::optional<std::string> SimHidPlatform::PortPath(const std::string& path)
{
    std::lock_guard lock(m_shared->mutex);
    RunDue();
    const SimHidInterface* hidInterface = Find(path);
    if (hidInterface == nullptr || hidInterface->port.empty())
        return std::nullopt;
    return hidInterface->port;
}

std::unique_ptr<HidChangeMonitor> SimHidPlatform::MonitorChanges()
{
    return std::make_unique<SimHidMonitor>(*this);
}

std::unique_ptr<HidDeviceHandle> SimHidPlatform::Open(const std::string& path, HidOpenError& error)
{
    std::lock_guard lock(m_shared->mutex);
    RunDue();
    const SimHidInterface* hidInterface = Find(path);
    if (hidInterface == nullptr) {
        error = HidOpenError::Failed;
        return nullptr;
    }
    error = HidOpenError::None;
    return std::make_unique<SimHidHandle>(*hidInterface, m_shared);
}

}  // namespace zelv4
