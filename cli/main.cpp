#include <iostream>

#include "cli/CliApp.h"
#include "cli/TerminalProgress.h"

int main(int argc, char** argv)
{
    zelv4::CliEnvironment environment;
    environment.errIsTerminal = &zelv4::TerminalProgress::StderrIsTerminal;
    return zelv4::RunCli(argc, argv, std::cout, std::cerr, environment);
}
