#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/HidPlatform.h"

namespace zelv4 {

class SimIspLoader;

// One HID interface of the simulated machine.
struct SimHidInterface {
    std::string path;
    // The USB port its device hangs on ("1-2.3"); empty: unknown.
    std::string port;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
    // What GetCaps reports (FeatureReportByteLength included).
    HidCaps caps;

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

// What the platform shares with its handles, lists and monitors, which may
// outlive it; one lock for all of it, since programmers on several threads search,
// open and close at once.
struct SimHidShared {
    std::mutex mutex;
    std::condition_variable changed;  // an interface came or went
    std::set<std::string> locks;
};

// Simulated HID interfaces, listed in the order they were added. Any thread may
// search, open and plug; Interfaces() is for scripting before and checking after.
// Failures of the system's calls are a test's to script (tests/support).
class SimHidPlatform : public HidPlatform {
public:
    SimHidPlatform();

    std::unique_ptr<HidInterfaceList> GetClassDevices() override;
    std::unique_ptr<HidDeviceHandle> Open(const std::string& path, HidOpenError& error) override;
    // The scripted ids, as the system would know them without opening the interface.
    std::optional<HidAttributes> PeekAttributes(const std::string& path) override;
    std::optional<std::string> PortPath(const std::string& path) override;
    // Interfaces coming and going as the machine's script and its loaders make them:
    // plugs, unplugs, scripted times, a loader leaving or entering ISP mode.
    std::unique_ptr<HidChangeMonitor> MonitorChanges() override;

    // Returns the index of the new interface in Interfaces().
    std::size_t Add(SimHidInterface hidInterface);
    std::vector<SimHidInterface>& Interfaces() { return m_interfaces; }
    const std::vector<SimHidInterface>& Interfaces() const { return m_interfaces; }

    // Hot-plug, now or `after` the platform was made: an interface arrives (one
    // with the same path is replaced), or leaves.
    void Plug(SimHidInterface hidInterface, std::chrono::milliseconds after = std::chrono::milliseconds(0));
    void Unplug(const std::string& path, std::chrono::milliseconds after = std::chrono::milliseconds(0));

    // Whether an interface is listed by the next search.
    bool Listed(const SimHidInterface& hidInterface) const;

protected:
    // Whether the interface is attached for the next search; a test's machine makes
    // one appear late. Called with the shared lock held.
    virtual bool Attached(const SimHidInterface& /*hidInterface*/) const { return true; }
    // Told of each search (GetClassDevices) as it ends, with the shared lock held.
    virtual void Searched() {}

private:
    friend class SimHidMonitor;
    struct Scheduled {
        std::chrono::steady_clock::time_point at;
        bool plug = true;
        SimHidInterface hidInterface;  // plug
        std::string path;              // unplug
    };

    // With the shared lock held.
    const SimHidInterface* Find(const std::string& path) const;
    void RunDue();
    void PlugNow(SimHidInterface hidInterface, bool replace);
    // Path -> plug generation of what the next search lists.
    std::map<std::string, unsigned> ListedNow() const;
    std::optional<std::chrono::steady_clock::time_point> NextScheduled() const;

    std::shared_ptr<SimHidShared> m_shared;
    std::vector<SimHidInterface> m_interfaces;
    std::vector<unsigned> m_generations;  // per interface, bumped when replugged
    unsigned m_nextGeneration = 0;
    std::vector<Scheduled> m_scheduled;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace zelv4
