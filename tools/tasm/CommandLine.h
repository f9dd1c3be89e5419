#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tasm {

// TASM [-80] [-b] [-i] [-c] [-l] [-x[MASK]] [-dNAME[=value]] [-fXX] [-h] SOURCE [OBJECT [LISTING]]
// Returns the exit status: 0 when the image was written, 1 on assembly
// errors (an old OBJECT file is then removed), 2 on a bad command line.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tasm
