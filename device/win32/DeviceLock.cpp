#include "device/win32/DeviceMutex.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace zelv4 {

namespace {

// Global: two programmers in different sessions still share one chip.
constexpr const char* MUTEX_PREFIX = "Global\\zelv4-writer-device-";
// Object names are limited to MAX_PATH characters.
constexpr std::size_t MUTEX_NAME_MAX = 200;

}  // namespace

std::string DeviceMutex::NameFor(const std::string& devicePath)
{
    std::string key;
    key.reserve(devicePath.size());
    for (const char c : devicePath)
        key.push_back(c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    std::string name = MUTEX_PREFIX + key;
    if (name.size() <= MUTEX_NAME_MAX)
        return name;
    // 64-bit FNV-1a of the folded path.
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return MUTEX_PREFIX + std::string(text);
}

std::unique_ptr<DeviceMutex> DeviceMutex::TryTake(const std::string& devicePath, Result& result)
{
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, NameFor(devicePath).c_str());
    if (mutex == nullptr) {
        // The name belongs to an object of another kind, or cannot be made.
        result = ::GetLastError() == ERROR_ACCESS_DENIED ? Result::Busy : Result::Failed;
        return nullptr;
    }
    switch (::WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        result = Result::Taken;
        return std::unique_ptr<DeviceMutex>(new DeviceMutex(mutex));
    case WAIT_TIMEOUT:
        result = Result::Busy;
        break;
    default:
        result = Result::Failed;
        break;
    }
    ::CloseHandle(mutex);
    return nullptr;
}

DeviceMutex::~DeviceMutex()
{
    ::ReleaseMutex(m_handle);
    ::CloseHandle(m_handle);
}

}  // namespace zelv4
