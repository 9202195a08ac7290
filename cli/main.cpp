#include <iostream>

#include "CliApp.h"

int main(int argc, char** argv)
{
    return zelv4::RunCli(argc, argv, std::cout, std::cerr);
}
