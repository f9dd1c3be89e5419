#pragma once

#include <cstdio>

namespace zoetra {

// True when the stream is an interactive terminal.
bool isTerminal(std::FILE* stream);

}  // namespace zoetra
