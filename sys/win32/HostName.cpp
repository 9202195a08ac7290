#include "sys/HostName.h"

#include <windows.h>

#include "sys/win32/WideText.h"

namespace zelv4 {

std::string HostName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = L"";
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &length) || length == 0)
        return "unknown";
    return WideToUtf8Shown(std::wstring_view(name, length));
}

}  // namespace zelv4
