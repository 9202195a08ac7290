#include "sys/ReplacingFile.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "core/QuotedPath.h"
#include "sys/win32/WideText.h"
#include "sys/win32/Win32Error.h"
#include "sys/win32/WriteAll.h"

namespace zelv4 {

namespace {

// A temporary name keeps this much of the target's name, within MAX_PATH limits.
constexpr std::size_t TEMP_NAME_KEEP = 200;
constexpr int TEMP_NAME_ATTEMPTS = 100;

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

// The file a symbolic link (or junction) leads to; the path itself for any other.
std::wstring FollowLink(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return path;
    wchar_t final[MAX_PATH * 4];
    const DWORD length = ::GetFinalPathNameByHandleW(handle, final, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    ::CloseHandle(handle);
    if (length == 0 || length >= MAX_PATH * 4)
        return path;
    std::wstring target(final, length);
    // "\\?\C:\..." names a drive path, which reads better without the prefix.
    if (target.rfind(L"\\\\?\\", 0) == 0 && target.size() > 6 && target[5] == L':')
        target.erase(0, 4);
    return target;
}

// What is at a path: nothing, a directory, a disk file, or something else (a
// device such as NUL or COM1, a pipe).
enum class Kind { Missing, Directory, File, Other };

Kind KindOf(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Kind::Directory;
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return attributes == INVALID_FILE_ATTRIBUTES ? Kind::Missing : Kind::File;
    const DWORD type = ::GetFileType(handle);
    ::CloseHandle(handle);
    return type == FILE_TYPE_DISK ? Kind::File : Kind::Other;
}

std::wstring DirectoryOf(const std::wstring& full)
{
    const auto separator = full.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring(L".") : full.substr(0, separator);
}

std::wstring BaseOf(const std::wstring& full)
{
    const auto separator = full.find_last_of(L"\\/");
    return separator == std::wstring::npos ? full : full.substr(separator + 1);
}

// Marks an open file for deletion when its last handle closes, however the
// program ends; or clears the mark.
bool SetDeleteOnClose(HANDLE handle, bool remove)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// Renames the open file to `target` through its handle, over a file there when
// `replace`.
bool RenameOver(HANDLE handle, const std::wstring& target, bool replace)
{
    if (target.empty())
        return false;
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, target.data(), nameBytes);
    return ::SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

}  // namespace

struct ReplacingFile::State {
    std::string path;         // as the caller named it, for messages
    std::string target;       // the file replaced, for the caller
    std::wstring wideTarget;  // the same, as the system names it
    std::wstring temporary;   // empty when writing straight into the target
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool committed = false;
};

ReplacingFile::ReplacingFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}

ReplacingFile::~ReplacingFile()
{
    // The temporary file is marked for deletion: closing it removes it.
    if (m_state->handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_state->handle);
    if (!m_state->committed && !m_state->temporary.empty())
        ::DeleteFileW(m_state->temporary.c_str());
}

const std::string& ReplacingFile::TargetPath() const
{
    return m_state->target;
}

Expected<std::unique_ptr<ReplacingFile>> ReplacingFile::Create(const std::string& path)
{
    auto state = std::make_unique<State>();
    state->path = path;
    if (path.empty()) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + std::strerror(ENOENT));
    }
    const std::optional<std::wstring> wide = Utf8ToWide(path);
    if (!wide) {
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + std::strerror(EILSEQ));
    }
    state->wideTarget = FollowLink(*wide);
    state->target = state->wideTarget == *wide ? path : WideToUtf8(state->wideTarget).value_or(path);

    switch (KindOf(state->wideTarget)) {
    case Kind::Directory:
        return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + std::strerror(EISDIR));
    case Kind::Other: {
        // A device or a pipe cannot be replaced, only written to.
        const HANDLE handle =
            ::CreateFileW(state->wideTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return Fail(ErrorCode::FileFailed,
                        "cannot create " + Quoted(path) + ": " + Win32ErrorText(::GetLastError()));
        }
        state->handle = handle;
        return std::unique_ptr<ReplacingFile>(new ReplacingFile(std::move(state)));
    }
    case Kind::Missing:
    case Kind::File:
        break;
    }

    const std::wstring full = FullPath(state->wideTarget);
    const std::wstring stem = DirectoryOf(full) + L"\\." + BaseOf(full).substr(0, TEMP_NAME_KEEP) + L".";
    static std::atomic<unsigned> counter{0};
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < TEMP_NAME_ATTEMPTS && code == ERROR_FILE_EXISTS; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%08lx%04x.tmp", ::GetCurrentProcessId() & 0xFFFFFFFFUL,
                      (counter++ + static_cast<unsigned>(::GetTickCount())) & 0xFFFF);
        const std::wstring temporary = stem + std::wstring(suffix, suffix + std::strlen(suffix));
        const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            code = ::GetLastError();
            continue;
        }
        state->handle = handle;
        state->temporary = temporary;
        // Gone with the last handle if the program stops before the commit, by
        // Ctrl+C or by being ended.
        SetDeleteOnClose(handle, true);
        return std::unique_ptr<ReplacingFile>(new ReplacingFile(std::move(state)));
    }
    return Fail(ErrorCode::FileFailed, "cannot create " + Quoted(path) + ": " + Win32ErrorText(code));
}

Expected<void> ReplacingFile::Write(std::span<const std::uint8_t> bytes)
{
    if (m_state->handle == INVALID_HANDLE_VALUE || m_state->committed) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + std::strerror(EBADF));
    }
    DWORD code = 0;
    if (!WriteAll(m_state->handle, bytes.data(), bytes.size(), code)) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Win32ErrorText(code));
    }
    return {};
}

Expected<void> ReplacingFile::Finish(bool replace)
{
    if (m_state->handle == INVALID_HANDLE_VALUE || m_state->committed) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + std::strerror(EBADF));
    }
    const HANDLE handle = std::exchange(m_state->handle, INVALID_HANDLE_VALUE);
    const auto fail = [this, handle](DWORD code) -> Expected<void> {
        ::CloseHandle(handle);
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Win32ErrorText(code));
    };
    if (m_state->temporary.empty()) {
        if (!::CloseHandle(handle)) {
            return Fail(ErrorCode::FileFailed,
                        "cannot write " + Quoted(m_state->path) + ": " + Win32ErrorText(::GetLastError()));
        }
        m_state->committed = true;
        return {};
    }
    // The data must be on the disk before the name points at it, or a crash could
    // leave an empty file where the old one was.
    if (!::FlushFileBuffers(handle))
        return fail(::GetLastError());
    if (!SetDeleteOnClose(handle, false))
        return fail(::GetLastError());
    if (RenameOver(handle, FullPath(m_state->wideTarget), replace)) {
        ::CloseHandle(handle);
        m_state->committed = true;
        return {};
    }
    // Some file systems rename only by name.
    ::CloseHandle(handle);
    if (!::MoveFileExW(m_state->temporary.c_str(), m_state->wideTarget.c_str(),
                       (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
        return Fail(ErrorCode::FileFailed,
                    "cannot write " + Quoted(m_state->path) + ": " + Win32ErrorText(::GetLastError()));
    }
    m_state->committed = true;
    return {};
}

}  // namespace zelv4
