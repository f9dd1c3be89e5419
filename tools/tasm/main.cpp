// TASM: a TASM-compatible Z80 assembler.
#include "CommandLine.h"

#include <iostream>

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return tasm::runCommandLine(arguments, std::cout, std::cerr);
}
