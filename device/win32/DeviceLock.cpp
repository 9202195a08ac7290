#include "device/win32/DeviceLock.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace zelv4 {

namespace {

// Global: two programmers in different sessions still share one chip.
constexpr const char* LOCK_PREFIX = "Global\\zelv4-writer-device-";
// Object names are limited to MAX_PATH characters.
constexpr std::size_t LOCK_NAME_MAX = 200;

}  // namespace

std::string DeviceLock::NameFor(const std::string& devicePath)
{
    std::string key;
    key.reserve(devicePath.size());
    for (const char c : devicePath)
        key.push_back(c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    std::string name = LOCK_PREFIX + key;
    if (name.size() <= LOCK_NAME_MAX)
        return name;
    // 64-bit FNV-1a of the folded path.
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return LOCK_PREFIX + std::string(text);
}

std::unique_ptr<DeviceLock> DeviceLock::TryTake(const std::string& devicePath, Result& result)
{
    HANDLE semaphore = ::CreateSemaphoreA(nullptr, 1, 1, NameFor(devicePath).c_str());
    if (semaphore == nullptr) {
        // Made by another user's program with no access for us: it is theirs.
        result = ::GetLastError() == ERROR_ACCESS_DENIED ? Result::Busy : Result::Failed;
        return nullptr;
    }
    switch (::WaitForSingleObject(semaphore, 0)) {
    case WAIT_OBJECT_0:
        result = Result::Taken;
        return std::unique_ptr<DeviceLock>(new DeviceLock(semaphore));
    case WAIT_TIMEOUT:
        result = Result::Busy;
        break;
    default:
        result = Result::Failed;
        break;
    }
    ::CloseHandle(semaphore);
    return nullptr;
}

DeviceLock::~DeviceLock()
{
    ::ReleaseSemaphore(m_handle, 1, nullptr);
    ::CloseHandle(m_handle);
}

}  // namespace zelv4
