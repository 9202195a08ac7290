#include "device/sim/SimHidPlatform.h"

#include "core/IspConstants.h"
#include "device/sim/SimIspLoader.h"

namespace zelv4 {

namespace {

class SimHidList : public HidInterfaceList {
public:
    SimHidList(std::vector<SimHidInterface> listed, std::shared_ptr<int> liveLists)
        : m_listed(std::move(listed)), m_liveLists(std::move(liveLists))
    {
        ++*m_liveLists;
    }
    ~SimHidList() override { --*m_liveLists; }

    bool EnumInterface(unsigned index) override { return index < m_listed.size(); }

    std::optional<std::string> InterfacePath(unsigned index) override
    {
        if (index >= m_listed.size() || m_listed[index].detailFails)
            return std::nullopt;
        return m_listed[index].path;
    }

private:
    // What was present when the list was taken, as the platform's snapshot.
    std::vector<SimHidInterface> m_listed;
    std::shared_ptr<int> m_liveLists;
};

class SimHidHandle : public HidDeviceHandle {
public:
    SimHidHandle(const SimHidInterface& hidInterface, std::shared_ptr<int> liveHandles,
                 std::shared_ptr<std::set<std::string>> locks)
        : m_interface(hidInterface), m_liveHandles(std::move(liveHandles)), m_locks(std::move(locks))
    {
        ++*m_liveHandles;
    }
    ~SimHidHandle() override
    {
        if (m_locked)
            m_locks->erase(m_interface.path);
        --*m_liveHandles;
    }

    bool LockExclusive() override
    {
        if (m_locked)
            return true;
        if (m_interface.heldElsewhere || !m_locks->insert(m_interface.path).second)
            return false;
        m_locked = true;
        return true;
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
        if (m_interface.attributesFail)
            return false;
        attributes.VendorID = m_interface.vendorId;
        attributes.ProductID = m_interface.productId;
        attributes.VersionNumber = m_interface.versionNumber;
        return true;
    }

    bool GetPreparsedData() override
    {
        m_preparsed = !m_interface.preparsedFails;
        return m_preparsed;
    }

    bool GetCaps(HidCaps& caps) override
    {
        if (!m_preparsed || m_interface.capsFail)
            return false;
        caps = m_interface.caps;
        return true;
    }

private:
    SimHidInterface m_interface;
    std::shared_ptr<int> m_liveHandles;
    std::shared_ptr<std::set<std::string>> m_locks;
    bool m_locked = false;
    bool m_preparsed = false;
};

}  // namespace

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

SimHidPlatform::SimHidPlatform()
    : m_liveHandles(std::make_shared<int>(0)), m_liveLists(std::make_shared<int>(0)),
      m_locks(std::make_shared<std::set<std::string>>())
{}

std::size_t SimHidPlatform::Add(SimHidInterface hidInterface)
{
    m_interfaces.push_back(std::move(hidInterface));
    return m_interfaces.size() - 1;
}

bool SimHidPlatform::Listed(const SimHidInterface& hidInterface) const
{
    if (m_searches < hidInterface.appearsAfterSearches)
        return false;
    return !hidInterface.loader || hidInterface.loader->InIsp();
}

std::unique_ptr<HidInterfaceList> SimHidPlatform::GetClassDevices()
{
    std::vector<SimHidInterface> listed;
    for (const SimHidInterface& hidInterface : m_interfaces)
        if (Listed(hidInterface))
            listed.push_back(hidInterface);
    ++m_searches;
    return std::make_unique<SimHidList>(std::move(listed), m_liveLists);
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
    const SimHidInterface* hidInterface = Find(path);
    if (hidInterface == nullptr)
        return std::nullopt;
    HidAttributes attributes;
    attributes.VendorID = hidInterface->vendorId;
    attributes.ProductID = hidInterface->productId;
    attributes.VersionNumber = hidInterface->versionNumber;
    return attributes;
}

std::unique_ptr<HidDeviceHandle> SimHidPlatform::Open(const std::string& path, HidOpenError& error)
{
    const SimHidInterface* hidInterface = Find(path);
    if (hidInterface == nullptr) {
        error = HidOpenError::Failed;
        return nullptr;
    }
    switch (hidInterface->openFailure) {
    case SimHidInterface::OpenFailure::Failed:
        error = HidOpenError::Failed;
        return nullptr;
    case SimHidInterface::OpenFailure::PermissionDenied:
        error = HidOpenError::PermissionDenied;
        return nullptr;
    case SimHidInterface::OpenFailure::Busy:
        error = HidOpenError::Busy;
        return nullptr;
    case SimHidInterface::OpenFailure::None:
        break;
    }
    error = HidOpenError::None;
    return std::make_unique<SimHidHandle>(*hidInterface, m_liveHandles, m_locks);
}

}  // namespace zelv4
