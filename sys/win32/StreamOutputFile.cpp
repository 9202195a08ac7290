#include "sys/StreamOutputFile.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "core/QuotedPath.h"
#include "sys/win32/WideText.h"
#include "sys/win32/Win32Error.h"
#include "sys/win32/WriteAll.h"

namespace zelv4 {

namespace {

// A file's identity: the volume's serial number and the file index on it.
bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    if (NamedDescriptor(path))
        return ::GetFileInformationByHandle(::GetStdHandle(STD_OUTPUT_HANDLE), &info) != FALSE;
    const std::optional<std::wstring> name = Utf8ToWide(path);
    if (!name)
        return false;
    const HANDLE handle = ::CreateFileW(name->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool known = ::GetFileInformationByHandle(handle, &info) != FALSE;
    ::CloseHandle(handle);
    return known;
}

}  // namespace

std::optional<int> NamedDescriptor(const std::string& path)
{
    if (path == "-")
        return 1;
    return std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return Identity(a, first) && Identity(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

struct StreamOutputFile::State {
    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;  // the process's standard output: never closed here
};

StreamOutputFile::StreamOutputFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}

StreamOutputFile::~StreamOutputFile() = default;

// Devices and pipes named by path are written straight by ReplacingFile here.
bool StreamOutputFile::Names(const std::string& path)
{
    return NamedDescriptor(path).has_value();
}

Expected<std::unique_ptr<StreamOutputFile>> StreamOutputFile::Open(const std::string& path)
{
    auto state = std::make_unique<State>();
    state->path = path;
    state->handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!NamedDescriptor(path) || state->handle == INVALID_HANDLE_VALUE || state->handle == nullptr) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(path) + ": " + std::strerror(EBADF));
    }
    return std::unique_ptr<StreamOutputFile>(new StreamOutputFile(std::move(state)));
}

Expected<void> StreamOutputFile::Write(std::span<const std::uint8_t> bytes)
{
    DWORD code = 0;
    if (!WriteAll(m_state->handle, bytes.data(), bytes.size(), code)) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + Win32ErrorText(code));
    }
    return {};
}

Expected<void> StreamOutputFile::Commit()
{
    if (std::exchange(m_state->handle, INVALID_HANDLE_VALUE) == INVALID_HANDLE_VALUE) {
        return Fail(ErrorCode::FileFailed, "cannot write " + Quoted(m_state->path) + ": " + std::strerror(EBADF));
    }
    return {};
}

}  // namespace zelv4
