#include "sys/ProcessSetup.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <initializer_list>

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

}  // namespace zelv4
