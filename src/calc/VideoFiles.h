#pragma once

#include "calc/Recording.h"
#include "shared/CalculatorFiles.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zoetra::calc {

// A program as files on disk, with the video AppVars that go with it.
struct ProgramWithVideo {
    std::vector<std::uint8_t> program;  // its bytes from the two tokens on
    std::vector<AppVar> appVars;        // in the order of their names
};

// Reads a program with its video: NAME.8xp and the AppVar files NAME00.8xv,
// NAME01.8xv, ... beside it (any letter case), or the multi-variable file
// NAME.8xg with NAME-2.8xg, NAME-3.8xg, ... beside it. Nothing, with the
// reason in `error`, when a file cannot be read or is not what it should be.
std::optional<ProgramWithVideo> readProgramWithVideo(const QString& path, std::string* error);

}  // namespace zoetra::calc
