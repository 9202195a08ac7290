#include "sys/win32/Win32Error.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

#include "sys/win32/WideText.h"

namespace zelv4 {

namespace {

int ErrnoFor(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return 0;
    }
}

}  // namespace

std::string Win32ErrorText(unsigned long code)
{
    if (const int mapped = ErrnoFor(code))
        return std::strerror(mapped);
    // In UTF-16 and then UTF-8, like all text of the program: a translated
    // message need not fit the ANSI code page.
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? WideToUtf8Shown(std::wstring_view(text, length)) : "";
    ::LocalFree(text);
    // One line without the system's closing period and line end.
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.' || message.back() == ' '))
        message.pop_back();
    if (message.empty())
        message = "error " + std::to_string(code);
    return message;
}

}  // namespace zelv4
