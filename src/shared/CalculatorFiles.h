#pragma once

#include <cstdint>

namespace zoetra {

// The most bytes a calculator file may have: a program file holds at most
// 64 KB of program and its headers; a bundle or AppVar file is refused past
// 2 MB. A larger file is refused before it is read.
inline constexpr std::int64_t ProgramFileLimit = 64 * 1024 + 128;
inline constexpr std::int64_t VariableFileLimit = 2 * 1024 * 1024;

}  // namespace zoetra
