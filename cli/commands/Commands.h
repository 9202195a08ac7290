#pragma once

#include <memory>
#include <span>

namespace zelv4 {

class Command;

// A subcommand as the command line knows it before it is needed: its name, its line
// in --help, and how to make it. Only the command a run names is made, so that a
// run builds the options of one command, not of all.
struct CommandEntry {
    const char* name;
    const char* description;
    std::unique_ptr<Command> (*make)();
};

// Every subcommand, in the order --help lists them.
std::span<const CommandEntry> Commands();

}  // namespace zelv4
