#include "sys/FileLock.h"

#include <windows.h>

#include "core/QuotedPath.h"
#include "sys/win32/NamedClaim.h"
#include "sys/win32/Win32Error.h"

namespace zelv4 {

namespace {

// The name every spelling of a path comes to: absolute, in its long form.
std::string CanonicalPath(const std::string& path)
{
    char full[MAX_PATH * 4];
    DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return path;
    char longForm[MAX_PATH * 4];
    const DWORD longLength = ::GetLongPathNameA(full, longForm, sizeof longForm);
    if (longLength > 0 && longLength < sizeof longForm)
        return std::string(longForm, longLength);
    return std::string(full, length);
}

}  // namespace

// Windows locks are mandatory and a file held open cannot be renamed over, yet the
// locked file is what gets replaced (the simulated flash state is saved over it):
// the lock is a claim named after the file, and no handle stays open.
struct FileLock::State {
    std::string path;
    std::unique_ptr<NamedClaim> claim;
};

FileLock::FileLock(std::unique_ptr<State> state, bool created) : m_state(std::move(state)), m_created(created) {}

FileLock::~FileLock()
{
    if (m_created) {
        // Still the empty file this lock made: nothing was saved into it.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExA(m_state->path.c_str(), GetFileExInfoStandard, &data) &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nFileSizeHigh == 0 &&
            data.nFileSizeLow == 0)
            ::DeleteFileA(m_state->path.c_str());
    }
}

std::unique_ptr<FileLock> FileLock::TryLock(const std::string& path, bool create, Result& result, std::string& error)
{
    result = Result::Failed;
    NamedClaim::Result taken = NamedClaim::Result::Failed;
    std::unique_ptr<NamedClaim> claim = NamedClaim::TryTake("file", CanonicalPath(path), taken);
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
        handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        created = handle != INVALID_HANDLE_VALUE;
    }
    if (handle == INVALID_HANDLE_VALUE && (!create || ::GetLastError() == ERROR_FILE_EXISTS))
        handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = "cannot open " + Quoted(path) + ": " + Win32ErrorText(::GetLastError());
        return nullptr;
    }
    ::CloseHandle(handle);
    auto state = std::make_unique<State>();
    state->path = path;
    state->claim = std::move(claim);
    result = Result::Locked;
    return std::unique_ptr<FileLock>(new FileLock(std::move(state), created));
}

}  // namespace zelv4
