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
    std::unique_ptr<NamedClaim> claim;
};

FileLock::FileLock(std::unique_ptr<State> state) : m_state(std::move(state)) {}

FileLock::~FileLock() = default;

Expected<std::unique_ptr<FileLock>> FileLock::TryLock(const std::string& path)
{
    const std::optional<std::wstring> wide = Utf8ToWide(path);
    if (!wide)
        return Fail(ErrorCode::FileFailed, "cannot open " + Quoted(path) + ": " + std::strerror(EILSEQ));
    NamedClaim::Result taken = NamedClaim::Result::Failed;
    std::unique_ptr<NamedClaim> claim = NamedClaim::TryTake("file", CanonicalPath(*wide), taken);
    if (!claim) {
        if (taken == NamedClaim::Result::Busy)
            return Fail(ErrorCode::Busy, Quoted(path) + " is in use by another program");
        return Fail(ErrorCode::FileFailed, "cannot lock " + Quoted(path) + ": " + Win32ErrorText(::GetLastError()));
    }
    const HANDLE handle =
        ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Fail(ErrorCode::FileFailed, "cannot open " + Quoted(path) + ": " + Win32ErrorText(::GetLastError()));
    ::CloseHandle(handle);
    auto state = std::make_unique<State>();
    state->claim = std::move(claim);
    return std::unique_ptr<FileLock>(new FileLock(std::move(state)));
}

}  // namespace zelv4
