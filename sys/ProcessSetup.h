#pragma once

#include <string>
#include <vector>

namespace zelv4 {

// Which standard streams the process was started without.
struct ClosedStreams {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Makes sure the standard input, output and error descriptors are open, opening
// the null device for any that is closed. Called first thing in main(): otherwise
// the next file the program opens (the device node) would take the place of a
// closed stdout, and messages would be written into the device. Returns the ones
// that were closed, so that a program whose result goes to stdout can refuse.
ClosedStreams EnsureStandardStreams();

// Whether the standard error stream is a terminal, where progress is drawn.
bool StderrIsTerminal();

// The width of that terminal in columns; 0 when it cannot be told.
unsigned StderrColumns();

// What the program prints is UTF-8 text (paths included). On Windows the console
// is told so while the program runs; a terminal elsewhere is taken to be UTF-8.
void UseUtf8Console();

// The program's arguments, its name first, as the text the program works with.
struct ProgramArguments {
    std::vector<std::string> values;
    // Why they cannot all be used: on Windows, a UTF-16 argument with an unpaired
    // surrogate, which a file name may hold but no UTF-8 text can carry; it is then
    // given with U+FFFD in its place. Empty when all are exact.
    std::string error;
};

#ifdef _WIN32
// The wide arguments the C library parsed (wmain), in UTF-8: never through the
// ANSI code page, whose best-fit mapping would name some other file.
ProgramArguments ReadProgramArguments(int argc, const wchar_t* const* argv);
#else
// The bytes given, unchanged: names on POSIX are bytes.
ProgramArguments ReadProgramArguments(int argc, const char* const* argv);
#endif

}  // namespace zelv4
