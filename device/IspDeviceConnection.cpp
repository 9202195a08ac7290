#include "device/IspDeviceConnection.h"

#include <array>
#include <cstdio>

#include "core/IspConstants.h"
#include "device/IspDeviceInventory.h"

namespace zelv4 {

namespace {

constexpr std::uint32_t HID_ATTRIBUTES_SIZE = 12;

// The HID device interface class. Linux has no such GUID, but the status text
// names it, so it is the one Windows reports.
struct ClassGuid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::array<std::uint8_t, 8> Data4;
};
constexpr ClassGuid HID_CLASS_GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

}  // namespace

IspDeviceConnection::IspDeviceConnection(HidPlatform& platform) : m_platform(platform) {}

void IspDeviceConnection::SetSelection(std::function<bool(const std::string& path)> selected)
{
    m_selected = std::move(selected);
}

std::string FormatHidGuidStatus()
{
    // "The HID class GUID of the system is : ..." (UTF-8).
    const ClassGuid& g = HID_CLASS_GUID;
    char text[160];
    std::snprintf(text, sizeof text,
                  "\u7CFB\u7D71\u4E2DHID\u985E\u7684GUID\u6A19\u8B58\u70BA : "
                  "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x\n",
                  static_cast<unsigned>(g.Data1), unsigned{g.Data2}, unsigned{g.Data3}, unsigned{g.Data4[0]},
                  unsigned{g.Data4[1]}, unsigned{g.Data4[2]}, unsigned{g.Data4[3]}, unsigned{g.Data4[4]},
                  unsigned{g.Data4[5]}, unsigned{g.Data4[6]}, unsigned{g.Data4[7]});
    return text;
}

std::string FormatDeviceInformation(const HidAttributes& a, const HidCaps& c)
{
    char text[600];
    std::snprintf(text, sizeof text,
                  "Hid Device Information: \n VID: 0x%04X \n PID: 0x%04X \n Usage: 0x%04X \n Usagepage: 0x%04X \n "
                  "InputReportByteLength:  %d \n OutputReportByteLength: %d \n FeatureReportByteLength: %d \n "
                  "NumberLinkCollectionNodes: %d \n NumberInputButtonCaps: %d \n NumberInputValueCaps: %d \n "
                  "NumberOutputButtonCaps: %d \n NumberOutputValueCaps: %d \n NumberFeatureButtonCaps: %d \n "
                  "NumberFeatureValueCaps: %d \n",
                  int{a.VendorID}, int{a.ProductID}, int{c.Usage}, int{c.UsagePage}, int{c.InputReportByteLength},
                  int{c.OutputReportByteLength}, int{c.FeatureReportByteLength}, int{c.NumberLinkCollectionNodes},
                  int{c.NumberInputButtonCaps}, int{c.NumberInputValueCaps}, int{c.NumberOutputButtonCaps},
                  int{c.NumberOutputValueCaps}, int{c.NumberFeatureButtonCaps}, int{c.NumberFeatureValueCaps});
    return text;
}

void IspDeviceConnection::Offer(FoundIspDevice found)
{
    m_offered = std::move(found);
}

IspSearchNotes IspDeviceConnection::FindIspDevice()
{
    if (!m_offered) {
        FindIspDevice(HidSearchObserver());
        return m_notes;
    }
    FoundIspDevice found = std::move(*m_offered);
    m_offered.reset();
    m_hIspDevice.reset();
    m_notes = IspSearchNotes{};
    m_devicePath.clear();
    m_strStatus = FormatHidGuidStatus();
    m_IspAttributes = found.attributes;
    // Another program is programming this chip: leave it alone.
    if (m_lock == SearchLock::Take ? !found.handle->LockExclusive() : found.handle->LockedElsewhere()) {
        m_notes.busyPaths.push_back(found.path);
        return m_notes;
    }
    m_strStatus = ISP_STATUS_CONNECT_OK;
    m_hIspDevice = std::move(found.handle);
    m_devicePath = found.path;
    if (found.capsRead) {
        m_IspCaps = found.caps;
        m_strStatus = FormatDeviceInformation(m_IspAttributes, m_IspCaps);
    }
    return m_notes;
}

void IspDeviceConnection::FindIspDevice(const HidSearchObserver& observer, SearchEnd end)
{
    // A handle still open here would otherwise be lost; callers only search with
    // none open, so this just releases it.
    m_hIspDevice.reset();
    m_notes = IspSearchNotes{};
    m_devicePath.clear();
    m_strStatus = FormatHidGuidStatus();
    const auto report = [&observer](HidSearchEvent event) {
        if (observer)
            observer(event);
    };
    const bool endAtUnreadable = end == SearchEnd::AtUnreadableInterface;

    // The list is released when it goes out of scope, once, on every exit.
    const std::unique_ptr<HidInterfaceList> list = m_platform.GetClassDevices();
    if (!list)
        return;

    for (unsigned index = 0; index < ISP_MAX_HID_INTERFACES; ++index) {
        if (!list->EnumInterface(index))
            break;
        HidSearchEvent event;
        event.index = index;

        const std::optional<std::string> path = list->InterfacePath(index);
        if (!path) {
            event.kind = HidSearchEventKind::DetailFailed;
            report(event);
            if (endAtUnreadable)
                return;
            continue;
        }
        event.path = *path;
        if (m_selected && !m_selected(*path)) {
            event.kind = HidSearchEventKind::NotSelected;
            report(event);
            continue;
        }

        HidOpenError error = HidOpenError::None;
        std::unique_ptr<HidDeviceHandle> handle = m_platform.Open(*path, error);
        if (!handle) {
            // Only a refused node that may be the ZEL-V4 counts: on most systems
            // every other HID node (keyboards, mice) is refused too.
            event.kind = error == HidOpenError::PermissionDenied ? HidSearchEventKind::OpenDenied
                                                                 : HidSearchEventKind::OpenFailed;
            event.mayBeIspDevice = error == HidOpenError::PermissionDenied && MayBeIspDevice(m_platform, *path);
            if (event.mayBeIspDevice)
                m_notes.deniedPaths.push_back(*path);
            // A system that refuses a second opener outright (a sharing violation)
            // says "busy" before the lock can.
            if (error == HidOpenError::Busy && MayBeIspDevice(m_platform, *path)) {
                event.kind = HidSearchEventKind::Busy;
                m_notes.busyPaths.push_back(*path);
            }
            report(event);
            continue;
        }

        m_IspAttributes = HidAttributes{};
        m_IspAttributes.Size = HID_ATTRIBUTES_SIZE;
        if (!handle->GetAttributes(m_IspAttributes)) {
            event.kind = HidSearchEventKind::AttributesFailed;
            report(event);
            if (endAtUnreadable)
                return;  // the handle closes here; an earlier match stays
            continue;
        }
        event.attributes = m_IspAttributes;

        if (!IsIspDeviceId(m_IspAttributes.VendorID, m_IspAttributes.ProductID)) {
            event.kind = HidSearchEventKind::NotIspDevice;
            report(event);
            continue;  // not ours: closed at the end of this iteration
        }

        // Another program is programming this chip: leave it alone.
        if (m_lock == SearchLock::Take ? !handle->LockExclusive() : handle->LockedElsewhere()) {
            m_notes.busyPaths.push_back(*path);
            event.kind = HidSearchEventKind::Busy;
            report(event);
            continue;
        }

        m_strStatus = ISP_STATUS_CONNECT_OK;
        // A later match replaces an earlier one; the earlier handle is closed here.
        m_hIspDevice = std::move(handle);
        m_devicePath = *path;

        if (!m_hIspDevice->GetPreparsedData()) {
            m_strStatus = ISP_STATUS_PREPARSED_FAIL;
            // Shown by the operation, in a box without an icon, as the search ends.
            m_notes.plainMessage = m_strStatus;
            event.kind = HidSearchEventKind::PreparsedFailed;
            report(event);
            if (endAtUnreadable)
                return;
            continue;
        }
        HidCaps caps;
        if (m_hIspDevice->GetCaps(caps)) {
            m_IspCaps = caps;
            m_strStatus = FormatDeviceInformation(m_IspAttributes, m_IspCaps);
            event.caps = caps;
            event.capsRead = true;
        }
        event.kind = HidSearchEventKind::Matched;
        report(event);
        if (m_kept != nullptr && m_lock == SearchLock::LookOnly)
            m_kept->push_back({*path, std::move(m_hIspDevice), m_IspAttributes, caps, event.capsRead});
    }
}

void IspDeviceConnection::WatchArrivals()
{
    m_arrivals.emplace();
    m_arrivals->monitor = m_platform.MonitorChanges();
    m_arrivals->wanted = IspCandidates(m_platform, m_selected);
}

void IspDeviceConnection::WaitForIspDevice(std::chrono::milliseconds timeout, const std::function<bool()>& stop)
{
    const std::function<bool()> ended = !m_cutShort ? stop : [this, &stop] { return m_cutShort() || (stop && stop()); };
    m_platform.WaitForInterface(timeout, m_arrivals ? &*m_arrivals : nullptr, ended);
}

void IspDeviceConnection::CloseIspDevice()
{
    m_hIspDevice.reset();
}

}  // namespace zelv4
