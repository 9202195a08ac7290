#include "device/IspDeviceConnection.h"

#include <array>
#include <cstdio>

#include "core/IspConstants.h"

namespace zelv4 {

std::unique_ptr<HidDeviceHandle> g_hIspDevice;
HidCaps g_IspCaps;
HidAttributes g_IspAttributes;
std::string g_strStatus;

namespace {

HidPlatform* s_platform = nullptr;
std::function<void(const std::string&)> s_plainMessage;
std::vector<std::string> s_deniedPaths;
std::vector<std::string> s_busyPaths;
std::string s_devicePath;

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

bool MayBeIspDevice(const std::string& path)
{
    const std::optional<HidAttributes> ids = s_platform->PeekAttributes(path);
    return !ids || IsIspDeviceId(ids->VendorID, ids->ProductID);
}

}  // namespace

void SetHidPlatform(HidPlatform* platform)
{
    s_platform = platform;
}

void SetPlainMessageHandler(std::function<void(const std::string&)> handler)
{
    s_plainMessage = std::move(handler);
}

const std::vector<std::string>& IspDeniedPaths()
{
    return s_deniedPaths;
}

const std::vector<std::string>& IspBusyPaths()
{
    return s_busyPaths;
}

const std::string& IspDevicePath()
{
    return s_devicePath;
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

void FindIspDevice()
{
    // A handle still open here would otherwise be lost; callers only search with
    // none open, so this just releases it.
    g_hIspDevice.reset();
    s_deniedPaths.clear();
    s_busyPaths.clear();
    s_devicePath.clear();
    g_strStatus = FormatHidGuidStatus();
    if (s_platform == nullptr)
        return;

    // The list is released when it goes out of scope, once, on every exit.
    const std::unique_ptr<HidInterfaceList> list = s_platform->GetClassDevices();
    if (!list)
        return;

    for (unsigned index = 0; index < ISP_MAX_HID_INTERFACES; ++index) {
        if (!list->EnumInterface(index))
            break;

        const std::optional<std::string> path = list->InterfacePath(index);
        if (!path)
            return;

        HidOpenError error = HidOpenError::None;
        std::unique_ptr<HidDeviceHandle> handle = s_platform->Open(*path, error);
        if (!handle) {
            // Only a refused node that may be the ZEL-V4 counts: on most systems
            // every other HID node (keyboards, mice) is refused too.
            if (error == HidOpenError::PermissionDenied && MayBeIspDevice(*path))
                s_deniedPaths.push_back(*path);
            continue;
        }

        g_IspAttributes = HidAttributes{};
        g_IspAttributes.Size = HID_ATTRIBUTES_SIZE;
        if (!handle->GetAttributes(g_IspAttributes))
            return;  // the handle closes here; an earlier match stays

        if (!IsIspDeviceId(g_IspAttributes.VendorID, g_IspAttributes.ProductID))
            continue;  // not ours: closed at the end of this iteration

        // Another program is programming this chip: leave it alone.
        if (!handle->LockExclusive()) {
            s_busyPaths.push_back(*path);
            continue;
        }

        g_strStatus = ISP_STATUS_CONNECT_OK;
        // A later match replaces an earlier one; the earlier handle is closed here.
        g_hIspDevice = std::move(handle);
        s_devicePath = *path;

        if (!g_hIspDevice->GetPreparsedData()) {
            g_strStatus = ISP_STATUS_PREPARSED_FAIL;
            if (s_plainMessage)
                s_plainMessage(g_strStatus);
            return;
        }
        HidCaps caps;
        if (g_hIspDevice->GetCaps(caps)) {
            g_IspCaps = caps;
            g_strStatus = FormatDeviceInformation(g_IspAttributes, g_IspCaps);
        }
    }
}

void CloseIspDevice()
{
    g_hIspDevice.reset();
}

}  // namespace zelv4
