#include "sys/ProcessSetup.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <initializer_list>

namespace zelv4 {

void EnsureStandardStreams()
{
    // A program started without one of its standard handles (a GUI program, or a
    // parent that passed none) has no descriptor there, and the next file opened
    // would take its number: stdout would then write into that file.
    struct Stream {
        std::FILE* file;
        const char* mode;
    };
    for (const Stream stream : {Stream{stdin, "r"}, Stream{stdout, "w"}, Stream{stderr, "w"}}) {
        const int fd = _fileno(stream.file);
        const intptr_t handle = fd >= 0 ? _get_osfhandle(fd) : -1;
        if (handle == -1 || handle == -2 || handle == 0)
            std::freopen("NUL", stream.mode, stream.file);
    }
}

bool StderrIsTerminal()
{
    // A console, not merely a character device: NUL is one too.
    DWORD mode = 0;
    const HANDLE error = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
    return error != INVALID_HANDLE_VALUE && ::GetConsoleMode(error, &mode) != FALSE;
}

}  // namespace zelv4
