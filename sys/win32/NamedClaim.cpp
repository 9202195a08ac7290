#include "sys/win32/NamedClaim.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "sys/win32/WideText.h"

namespace zelv4 {

namespace {

// Global: two programs in different sessions still share one chip and one disk.
constexpr const char* CLAIM_PREFIX = "Global\\zelv4-writer-";
// Object names are limited to MAX_PATH characters.
constexpr std::size_t CLAIM_NAME_MAX = 200;

}  // namespace

std::string NamedClaim::NameFor(const std::string& kind, const std::string& key)
{
    std::string folded;
    folded.reserve(key.size());
    for (const char c : key)
        folded.push_back(c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    const std::string prefix = CLAIM_PREFIX + kind + "-";
    if (prefix.size() + folded.size() <= CLAIM_NAME_MAX)
        return prefix + folded;
    // 64-bit FNV-1a of the folded key.
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : folded) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return prefix + text;
}

std::unique_ptr<NamedClaim> NamedClaim::TryTake(const std::string& kind, const std::string& key, Result& result)
{
    // The key is UTF-8 text (a path may be any name): the object is named in UTF-16.
    const std::optional<std::wstring> name = Utf8ToWide(NameFor(kind, key));
    if (!name) {
        result = Result::Failed;
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return nullptr;
    }
    HANDLE semaphore = ::CreateSemaphoreW(nullptr, 1, 1, name->c_str());
    if (semaphore == nullptr) {
        // Made by another user's program with no access for us: it is theirs.
        result = ::GetLastError() == ERROR_ACCESS_DENIED ? Result::Busy : Result::Failed;
        return nullptr;
    }
    switch (::WaitForSingleObject(semaphore, 0)) {
    case WAIT_OBJECT_0:
        result = Result::Taken;
        return std::unique_ptr<NamedClaim>(new NamedClaim(semaphore));
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

bool NamedClaim::IsTaken(const std::string& kind, const std::string& key)
{
    const std::optional<std::wstring> name = Utf8ToWide(NameFor(kind, key));
    if (!name)
        return false;
    const HANDLE semaphore = ::OpenSemaphoreW(SYNCHRONIZE, FALSE, name->c_str());
    if (semaphore == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // another user's holder
    ::CloseHandle(semaphore);
    return true;
}

NamedClaim::~NamedClaim()
{
    ::ReleaseSemaphore(m_handle, 1, nullptr);
    ::CloseHandle(m_handle);
}

}  // namespace zelv4
