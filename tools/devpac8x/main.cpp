// DEVPAC8X NAME[.bin] [OUTPUT]: packs an assembled image into a .8xp file.
#include "devpac8x/Packager.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return devpac8x::runPackager(args, std::cout, std::cerr);
}
