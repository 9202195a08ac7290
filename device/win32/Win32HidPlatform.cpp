#include "device/win32/Win32HidPlatform.h"

// windows.h first: the SetupAPI and HID headers build on it.
#include <windows.h>

#include <setupapi.h>
// MinGW's HID headers declare C functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cctype>
#include <vector>

#include "sys/win32/NamedClaim.h"

namespace zelv4 {

namespace {

class Win32InterfaceList : public HidInterfaceList {
public:
    Win32InterfaceList(HDEVINFO list, const GUID& guid) : m_list(list), m_guid(guid) {}
    ~Win32InterfaceList() override { ::SetupDiDestroyDeviceInfoList(m_list); }
    Win32InterfaceList(const Win32InterfaceList&) = delete;
    Win32InterfaceList& operator=(const Win32InterfaceList&) = delete;

    bool EnumInterface(unsigned index) override
    {
        m_data = SP_DEVICE_INTERFACE_DATA{};
        m_data.cbSize = sizeof m_data;
        m_valid = ::SetupDiEnumDeviceInterfaces(m_list, nullptr, &m_guid, index, &m_data) != FALSE;
        m_index = index;
        return m_valid;
    }

    std::optional<std::string> InterfacePath(unsigned index) override
    {
        if ((!m_valid || m_index != index) && !EnumInterface(index))
            return std::nullopt;
        // First the size, then the record: the size call fails by design.
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailA(m_list, &m_data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
            required = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        // Aligned for the record's DWORD size field.
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        // The size of the fixed part, not of the buffer.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!::SetupDiGetDeviceInterfaceDetailA(m_list, &m_data, detail, required, nullptr, nullptr))
            return std::nullopt;
        const char* path = detail->DevicePath;
        const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        std::size_t length = 0;
        while (length < room && path[length] != '\0')
            ++length;
        return std::string(path, length);
    }

private:
    HDEVINFO m_list;
    GUID m_guid;
    SP_DEVICE_INTERFACE_DATA m_data{};
    unsigned m_index = 0;
    bool m_valid = false;
};

class Win32HidHandle : public HidDeviceHandle {
public:
    Win32HidHandle(HANDLE handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
    ~Win32HidHandle() override
    {
        FreePreparsedData();
        ::CloseHandle(m_handle);
    }
    Win32HidHandle(const Win32HidHandle&) = delete;
    Win32HidHandle& operator=(const Win32HidHandle&) = delete;

    // HidD_ calls are synchronous whatever the handle's overlapped flag says.
    bool SetFeature(const std::uint8_t* report, std::size_t length) override
    {
        if (length == 0 || length > MAXDWORD)
            return false;
        // The call takes a writable buffer; the caller's stays untouched.
        std::vector<std::uint8_t> buffer(report, report + length);
        return ::HidD_SetFeature(m_handle, buffer.data(), static_cast<ULONG>(length)) != FALSE;
    }

    bool GetFeature(std::uint8_t* report, std::size_t length) override
    {
        if (length == 0 || length > MAXDWORD)
            return false;
        return ::HidD_GetFeature(m_handle, report, static_cast<ULONG>(length)) != FALSE;
    }

    bool GetAttributes(HidAttributes& attributes) override
    {
        HIDD_ATTRIBUTES native{};
        native.Size = attributes.Size;
        if (!::HidD_GetAttributes(m_handle, &native))
            return false;
        attributes.VendorID = native.VendorID;
        attributes.ProductID = native.ProductID;
        attributes.VersionNumber = native.VersionNumber;
        return true;
    }

    // The handle is closed before the claim goes (members go after the body), so
    // the next programmer finds the device free of both.
    bool LockExclusive() override
    {
        if (m_lock)
            return true;
        NamedClaim::Result result = NamedClaim::Result::Failed;
        m_lock = NamedClaim::TryTake("device", m_path, result);
        // Only a claim held elsewhere refuses the device; one that cannot be made
        // at all leaves the device usable without one.
        return m_lock != nullptr || result != NamedClaim::Result::Busy;
    }

    bool LockedElsewhere() override { return !m_lock && NamedClaim::IsTaken("device", m_path); }

    bool GetPreparsedData() override
    {
        FreePreparsedData();
        return ::HidD_GetPreparsedData(m_handle, &m_preparsed) != FALSE;
    }

    bool GetCaps(HidCaps& caps) override
    {
        if (m_preparsed == nullptr)
            return false;
        HIDP_CAPS native{};
        const NTSTATUS status = ::HidP_GetCaps(m_preparsed, &native);
        // The caps are all that is wanted of the parsed description.
        FreePreparsedData();
        if (status != HIDP_STATUS_SUCCESS)
            return false;
        caps.Usage = native.Usage;
        caps.UsagePage = native.UsagePage;
        caps.InputReportByteLength = native.InputReportByteLength;
        caps.OutputReportByteLength = native.OutputReportByteLength;
        caps.FeatureReportByteLength = native.FeatureReportByteLength;
        caps.NumberLinkCollectionNodes = native.NumberLinkCollectionNodes;
        caps.NumberInputButtonCaps = native.NumberInputButtonCaps;
        caps.NumberInputValueCaps = native.NumberInputValueCaps;
        caps.NumberInputDataIndices = native.NumberInputDataIndices;
        caps.NumberOutputButtonCaps = native.NumberOutputButtonCaps;
        caps.NumberOutputValueCaps = native.NumberOutputValueCaps;
        caps.NumberOutputDataIndices = native.NumberOutputDataIndices;
        caps.NumberFeatureButtonCaps = native.NumberFeatureButtonCaps;
        caps.NumberFeatureValueCaps = native.NumberFeatureValueCaps;
        caps.NumberFeatureDataIndices = native.NumberFeatureDataIndices;
        return true;
    }

private:
    void FreePreparsedData()
    {
        if (m_preparsed != nullptr)
            ::HidD_FreePreparsedData(m_preparsed);
        m_preparsed = nullptr;
    }

    HANDLE m_handle;
    std::string m_path;
    std::unique_ptr<NamedClaim> m_lock;
    PHIDP_PREPARSED_DATA m_preparsed = nullptr;
};

// Four hex digits after `key` (matched without case) in `path`.
std::optional<std::uint16_t> HexAfter(const std::string& path, const std::string& key)
{
    std::string lower(path.size(), '\0');
    std::transform(path.begin(), path.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    const auto at = lower.find(key);
    if (at == std::string::npos || at + key.size() + 4 > lower.size())
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at + key.size(); i < at + key.size() + 4; ++i) {
        const char c = lower[i];
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<HidAttributes> Win32HidPlatform::PeekAttributes(const std::string& path)
{
    const auto vendor = HexAfter(path, "#vid_");
    const auto product = HexAfter(path, "&pid_");
    if (!vendor || !product)
        return std::nullopt;
    HidAttributes attributes;
    attributes.VendorID = *vendor;
    attributes.ProductID = *product;
    return attributes;
}

std::unique_ptr<HidInterfaceList> Win32HidPlatform::GetClassDevices()
{
    GUID guid;
    ::HidD_GetHidGuid(&guid);
    const HDEVINFO list = ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE)
        return nullptr;
    ::SetLastError(ERROR_SUCCESS);
    return std::make_unique<Win32InterfaceList>(list, guid);
}

std::unique_ptr<HidDeviceHandle> Win32HidPlatform::Open(const std::string& path, HidOpenError& error)
{
    const HANDLE handle = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        switch (::GetLastError()) {
        case ERROR_ACCESS_DENIED:
            error = HidOpenError::PermissionDenied;
            break;
        case ERROR_SHARING_VIOLATION:
            error = HidOpenError::Busy;
            break;
        default:
            error = HidOpenError::Failed;
            break;
        }
        return nullptr;
    }
    error = HidOpenError::None;
    return std::make_unique<Win32HidHandle>(handle, path);
}

}  // namespace zelv4
