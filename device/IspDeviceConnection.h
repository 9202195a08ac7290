#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/IspDevicePort.h"
#include "device/HidPlatform.h"

namespace zelv4 {

// At most this many HID interfaces are examined per search.
inline constexpr unsigned ISP_MAX_HID_INTERFACES = 20;

// The status texts of the search, exactly as it keeps them.
inline constexpr const char* ISP_STATUS_CONNECT_OK = "ZEL-V4 HID device connect ok";
inline constexpr const char* ISP_STATUS_PREPARSED_FAIL = "Get HID PREPARED DATA fail! \n";

// What the search made of one HID interface, in the order it met them, so that a
// front end can list them without deciding anything itself.
enum class HidSearchEventKind {
    DetailFailed,      // the interface's path could not be had: the search ends here
    OpenDenied,        // refused for lack of permission; mayBeIspDevice says whether it matters
    OpenFailed,        // could not be opened: skipped
    NotSelected,       // another device than the one asked for: skipped unopened
    AttributesFailed,  // ids unreadable: the search ends here
    NotIspDevice,      // other ids: closed again
    Busy,              // the ISP device, held by another program: left alone
    PreparsedFailed,   // the ISP device, its report description unreadable: the search ends here
    Matched,           // the ISP device, open; capsRead says whether caps holds its capabilities
};

struct HidSearchEvent {
    HidSearchEventKind kind = HidSearchEventKind::OpenFailed;
    unsigned index = 0;
    std::string path;
    HidAttributes attributes;  // from AttributesFailed on
    HidCaps caps;              // Matched with capsRead
    bool capsRead = false;
    bool mayBeIspDevice = false;  // OpenDenied: the system names no other ids for it
};

using HidSearchObserver = std::function<void(const HidSearchEvent&)>;

// The window's search ends at an interface it cannot read; a list of every attached
// chip must not lose the ones enumerated after such an interface.
enum class SearchEnd { AtUnreadableInterface, AfterLastInterface };

// An ISP device a listing found and left open, without its lock, for a connection
// to take instead of searching again (see IspDeviceConnection::Offer).
struct FoundIspDevice {
    std::string path;
    std::unique_ptr<HidDeviceHandle> handle;
    HidAttributes attributes;
    HidCaps caps;
    bool capsRead = false;
};

// Whether a search takes the ISP device it finds for its connection alone (an
// operation, which sends requests), or only looks (a listing, which must never
// make a programmer find the chip busy; a device another program holds is still
// told apart).
enum class SearchLock { Take, LookOnly };

// The connection to one ISP device: the search among the HID interfaces, the open
// handle (null: none open), its capabilities, the attributes of the interface
// examined last, and the status text of the last search. The device is opened by
// FindIspDevice at the start of an operation and closed at its end.
class IspDeviceConnection : public IspDevicePort {
public:
    // The platform must outlive the connection.
    explicit IspDeviceConnection(HidPlatform& platform);
    IspDeviceConnection(const IspDeviceConnection&) = delete;
    IspDeviceConnection& operator=(const IspDeviceConnection&) = delete;

    // Restricts the search to the interfaces `selected` accepts (a device chosen by
    // path or port); an empty function accepts all.
    void SetSelection(std::function<bool(const std::string& path)> selected);
    // Take (the default) or LookOnly.
    void SetSearchLock(SearchLock lock) { m_lock = lock; }
    // A LookOnly search hands every ISP device it opens and reads to `kept`, still
    // open, instead of keeping the last one as its device; null: it keeps it.
    void KeepMatches(std::vector<FoundIspDevice>* kept) { m_kept = kept; }
    // The next search takes `found`, which a listing opened a moment ago, instead of
    // searching again: it takes its lock (a device another program took meanwhile is
    // noted busy, as the search would), and the listing's capabilities. Once.
    void Offer(FoundIspDevice found);
    // Auto's waits end as soon as an interface the search would take appears, heard
    // from the platform's change monitor, made here: before the first search, so
    // that no arrival is missed. Without it each wait lasts its whole time, as the
    // window's one-second sleeps do. Call after SetSelection.
    void WatchArrivals();
    // Auto's waits also end once `cutShort` says so (a station that takes no more
    // chips); null: only the operation's stop request ends them early.
    void SetWaitCutShort(std::function<bool()> cutShort) { m_cutShort = std::move(cutShort); }

    IspSearchNotes FindIspDevice() override;
    // The same search, telling `observer` of every interface it meets.
    void FindIspDevice(const HidSearchObserver& observer, SearchEnd end = SearchEnd::AtUnreadableInterface);
    void CloseIspDevice() override;
    void WaitForIspDevice(std::chrono::milliseconds timeout, const std::function<bool()>& stop) override;

    HidDeviceHandle* Device() const override { return m_hIspDevice.get(); }
    std::uint16_t FeatureReportLength() const override { return m_IspCaps.FeatureReportByteLength; }
    // Keeps the last found device's value when a later search finds nothing.
    const HidCaps& Caps() const { return m_IspCaps; }
    const HidAttributes& Attributes() const { return m_IspAttributes; }
    const std::string& Status() const { return m_strStatus; }
    // The text the last search wants shown in a plain box (no icon); empty: none.
    const std::string& PlainMessage() const { return m_notes.plainMessage; }

    // Interfaces the last search skipped because opening them was refused for lack
    // of permission, in the order they were met; only those that may be the ISP
    // device (the platform names no other ids for them).
    const std::vector<std::string>& DeniedPaths() const { return m_notes.deniedPaths; }
    // ISP devices the last search found held by another program.
    const std::vector<std::string>& BusyPaths() const { return m_notes.busyPaths; }
    // The path of the device the last search opened; empty when it found none. Kept
    // after the device is closed, so a front end can say which device it used.
    const std::string& DevicePath() const { return m_devicePath; }

private:
    HidPlatform& m_platform;
    std::function<bool(const std::string&)> m_selected;
    SearchLock m_lock = SearchLock::Take;
    std::vector<FoundIspDevice>* m_kept = nullptr;
    std::optional<FoundIspDevice> m_offered;
    std::optional<HidArrivalWatch> m_arrivals;
    std::function<bool()> m_cutShort;
    std::unique_ptr<HidDeviceHandle> m_hIspDevice;
    HidCaps m_IspCaps;
    HidAttributes m_IspAttributes;
    std::string m_strStatus;
    IspSearchNotes m_notes;
    std::string m_devicePath;
};

// The GUID status text (UTF-8) and the device information text for a capability
// record, as the search writes them into its status.
std::string FormatHidGuidStatus();
std::string FormatDeviceInformation(const HidAttributes& attributes, const HidCaps& caps);

}  // namespace zelv4
