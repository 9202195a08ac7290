#pragma once

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

}  // namespace zelv4
