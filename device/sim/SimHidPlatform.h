#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/HidPlatform.h"

namespace zelv4 {

class SimIspLoader;

// One scripted HID interface of the simulated machine.
struct SimHidInterface {
    // Busy: the system refuses a second opener (a Windows sharing violation).
    enum class OpenFailure { None, Failed, PermissionDenied, Busy };

    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
    // What GetCaps reports (FeatureReportByteLength included).
    HidCaps caps;

    OpenFailure openFailure = OpenFailure::None;
    bool detailFails = false;
    bool attributesFail = false;
    bool preparsedFails = false;
    bool capsFail = false;
    // Another program holds the interface: LockExclusive fails.
    bool heldElsewhere = false;

    // Listed only from the search after this many searches (GetClassDevices calls)
    // on: a chip that is attached but enters ISP mode later.
    unsigned appearsAfterSearches = 0;

    // The loader behind the interface; feature reports on an interface without one
    // fail. While the loader is out of ISP mode the interface is not listed, as the
    // chip has reset into its application.
    std::shared_ptr<SimIspLoader> loader;

    // A ZEL-V4 in ISP mode with the loader's feature report length.
    static SimHidInterface IspLoader(std::string path, std::shared_ptr<SimIspLoader> loader);
    // Some other HID device with a feature report of `featureLength` bytes.
    static SimHidInterface Other(std::string path, std::uint16_t vendorId, std::uint16_t productId,
                                 std::uint16_t featureLength = 0);
};

// Simulated HID interfaces, listed in the order they were added.
class SimHidPlatform : public HidPlatform {
public:
    SimHidPlatform();

    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
    // The scripted ids, as the system would know them without opening the interface.
    std::optional<HidAttributes> PeekAttributes(const std::string& path) override;

    // Returns the index of the new interface in Interfaces().
    std::size_t Add(SimHidInterface hidInterface);
    std::vector<SimHidInterface>& Interfaces() { return m_interfaces; }
    const std::vector<SimHidInterface>& Interfaces() const { return m_interfaces; }

    // GetClassDevices calls so far.
    unsigned Searches() const { return m_searches; }
    // Handles opened and not yet closed.
    int LiveHandles() const { return *m_liveHandles; }
    // Interface lists handed out and not yet released.
    int LiveLists() const { return *m_liveLists; }
    // Interfaces locked by a handle now.
    std::size_t LockedCount() const { return m_locks->size(); }

    // Whether an interface is listed by the next search.
    bool Listed(const SimHidInterface& hidInterface) const;

private:
    const SimHidInterface* Find(const std::string& path) const;

    std::vector<SimHidInterface> m_interfaces;
    unsigned m_searches = 0;
    // Shared with the handles and lists so that they may outlive the platform.
    std::shared_ptr<int> m_liveHandles;
    std::shared_ptr<int> m_liveLists;
    std::shared_ptr<std::set<std::string>> m_locks;
};

}  // namespace zelv4
