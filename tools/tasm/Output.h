#pragma once

#include "Assembler.h"

#include <string>

namespace tasm {

// The bytes from the lowest address written to the highest, gaps filled.
std::string binaryImage(const Image& image, std::uint8_t fill);
// Intel HEX records of the written bytes, 16 a record, and the end record.
std::string intelHex(const Image& image);

// Writes a file through a temporary file beside it, renamed at the end, so
// that no half-written file is ever seen under the name.
bool writeAtomically(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace tasm
