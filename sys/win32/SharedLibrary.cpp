#include "sys/SharedLibrary.h"

#include <windows.h>

#include "sys/win32/Win32Error.h"

namespace zelv4 {

Expected<std::unique_ptr<SharedLibrary>> SharedLibrary::Open(const std::string& fileName)
{
    // Only from the system's and the program's folders, never from the current one.
    HMODULE module = ::LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr)
        return Fail(ErrorCode::Unavailable, fileName + ": " + Win32ErrorText(::GetLastError()));
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(module, fileName));
}

SharedLibrary::~SharedLibrary()
{
    ::FreeLibrary(static_cast<HMODULE>(m_handle));
}

Expected<void*> SharedLibrary::Symbol(const char* name) const
{
    void* address = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(m_handle), name));
    if (address == nullptr)
        return Fail(ErrorCode::Unavailable, m_fileName + " has no function " + name);
    return address;
}

}  // namespace zelv4
