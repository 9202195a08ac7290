#include "sys/ProcessSetup.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "sys/win32/WideText.h"

namespace zelv4 {

ClosedStreams EnsureStandardStreams()
{
    ClosedStreams closed;
    // A program started without one of its standard handles (a GUI program, or a
    // parent that passed none) has no descriptor there, and the next file opened
    // would take its number: stdout would then write into that file.
    struct Stream {
        std::FILE* file;
        const char* mode;
        bool& closed;
    };
    for (const Stream stream :
         {Stream{stdin, "r", closed.input}, Stream{stdout, "w", closed.output}, Stream{stderr, "w", closed.error}}) {
        const int fd = _fileno(stream.file);
        const intptr_t handle = fd >= 0 ? _get_osfhandle(fd) : -1;
        if (handle == -1 || handle == -2 || handle == 0) {
            stream.closed = true;
            std::freopen("NUL", stream.mode, stream.file);
        }
    }
    return closed;
}

bool StderrIsTerminal()
{
    // A console, not merely a character device: NUL is one too.
    DWORD mode = 0;
    const HANDLE error = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
    return error != INVALID_HANDLE_VALUE && ::GetConsoleMode(error, &mode) != FALSE;
}

unsigned StderrColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE error = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
    if (error == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(error, &info))
        return 0;
    return static_cast<unsigned>(info.srWindow.Right - info.srWindow.Left + 1);
}

namespace {

UINT g_consoleOutputPage = 0;  // the console's own, given back at exit

void RestoreConsoleOutputPage()
{
    ::SetConsoleOutputCP(g_consoleOutputPage);
}

}  // namespace

void UseUtf8Console()
{
    // 0: no console (output to files and pipes is UTF-8 bytes as it is).
    const UINT page = ::GetConsoleOutputCP();
    if (page == 0 || page == CP_UTF8 || g_consoleOutputPage != 0 || !::SetConsoleOutputCP(CP_UTF8))
        return;
    g_consoleOutputPage = page;
    std::atexit(RestoreConsoleOutputPage);
}

ProgramArguments ReadProgramArguments(int argc, const wchar_t* const* argv)
{
    ProgramArguments arguments;
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view argument(argv[i]);
        if (const std::optional<std::string> text = WideToUtf8(argument)) {
            arguments.values.push_back(*text);
            continue;
        }
        arguments.values.push_back(WideToUtf8Shown(argument));
        if (arguments.error.empty())
            arguments.error = "argument " + std::to_string(i) + " (\"" + arguments.values.back() +
                              "\") holds a character that is not Unicode text (an unpaired surrogate); "
                              "no file name with it can be used";
    }
    return arguments;
}

}  // namespace zelv4
