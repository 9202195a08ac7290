#include "sys/FileLock.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "core/QuotedPath.h"
#include "sys/win32/NamedClaim.h"
#include "sys/win32/WideText.h"
#include "sys/win32/Win32Error.h"

namespace zelv4 {

namespace {

// The name every spelling of a path comes to: absolute, in its long form, and in
// lower case (the file system ignores case, beyond ASCII too).
std::string CanonicalPath(const std::wstring& path)
{
    std::wstring name = path;
    std::vector<wchar_t> full(MAX_PATH * 4);
    DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length > 0 && length < full.size()) {
        name.assign(full.data(), length);
        std::vector<wchar_t> longForm(MAX_PATH * 4);
        length = ::GetLongPathNameW(name.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
        if (length > 0 && length < longForm.size())
            name.assign(longForm.data(), length);
    }
    const int units = static_cast<int>(name.size());
    std::wstring lower(name.size(), L'\0');
    if (units > 0 &&
        ::LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, name.data(), units, lower.data(), units) == units)
        name = lower;
    return WideToUtf8Shown(name);
}

}  // namespace

// Windows locks are mandatory and a file held open cannot be renamed over, yet the
// locked file is what gets replaced (the simulated flash state is saved over it):
// the lock is a claim named after the file, and no handle stays open.
struct FileLock::State {
    std::wstring path;
    std::unique_ptr<NamedClaim> claim;
};

FileLock::FileLock(std::unique_ptr<State> state, bool created) : m_state(std::move(state)), m_created(created) {}

FileLock::~FileLock()
{
    if (m_created) {
        // Still the empty file this lock made: nothing was saved into it.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExW(m_state->path.c_str(), GetFileExInfoStandard, &data) &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nFileSizeHigh == 0 &&
            data.nFileSizeLow == 0)
            ::DeleteFileW(m_state->path.c_str());
    }
}

std::unique_ptr<FileLock> FileLock::TryLock(const std::string& path, bool create, Result& result, std::string& error)
{
    result = Result::Failed;
    const std::optional<std::wstring> wide = Utf8ToWide(path);
    if (!wide) {
        error = "cannot open " + Quoted(path) + ": " + std::strerror(EILSEQ);
        return nullptr;
    }
    NamedClaim::Result taken = NamedClaim::Result::Failed;
    std::unique_ptr<NamedClaim> claim = NamedClaim::TryTake("file", CanonicalPath(*wide), taken);
    if (!claim) {
        if (taken == NamedClaim::Result::Busy) {
            result = Result::Busy;
            error = Quoted(path) + " is in use by another program";
        } else {
            error = "cannot lock " + Quoted(path) + ": " + Win32ErrorText(::GetLastError());
        }
        return nullptr;
    }
    bool created = false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (create) {
        handle = ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        created = handle != INVALID_HANDLE_VALUE;
    }
    if (handle == INVALID_HANDLE_VALUE && (!create || ::GetLastError() == ERROR_FILE_EXISTS))
        handle = ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot open " + Quoted(path) + ": " + Win32ErrorText(::GetLastError());
        return nullptr;
    }
    ::CloseHandle(handle);
    auto state = std::make_unique<State>();
    state->path = *wide;
    state->claim = std::move(claim);
    result = Result::Locked;
    return std::unique_ptr<FileLock>(new FileLock(std::move(state), created));
}

}  // namespace zelv4
