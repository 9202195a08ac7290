#pragma once

namespace zelv4 {

// Makes sure the standard input, output and error descriptors are open, opening
// the null device for any that is closed. Called first thing in main(): otherwise
// the next file the program opens (the device node) would take the place of a
// closed stdout, and messages would be written into the device.
void EnsureStandardStreams();

// Whether the standard error stream is a terminal, where progress is drawn.
bool StderrIsTerminal();

}  // namespace zelv4
