#pragma once

#include "calc/ProgramFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The .8xp reader of the emulated calculator, written from the published
// layout independently of the packager.
using zoetra::calc::ProgramFileContents;
using zoetra::calc::readProgramFile;

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);

}  // namespace testsupport
