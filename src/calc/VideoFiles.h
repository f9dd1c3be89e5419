#pragma once

#include "calc/Recording.h"
#include "shared/CalculatorFiles.h"
#include "shared/MadeFor.h"

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
    // What the program says it was made for, where it says so.
    std::optional<MadeFor> madeFor;
    // The video's stream as the player reads it, where the program says
    // where it lies: in the program, or after each AppVar's header.
    std::vector<std::uint8_t> stream;
};

// Whether the program looks variables up (_ChkFindSym or _FindSym): what
// it says it was made for tells, else its code is searched for the calls.
bool readsVariables(const std::vector<std::uint8_t>& program);

// Reads a program with its video: NAME.8xp and, for a program that reads
// variables, the AppVar files NAME00.8xv, NAME01.8xv, ... beside it (any
// letter case); or the multi-variable file NAME.8xg with NAME-2.8xg,
// NAME-3.8xg, ... beside it. As a calculator holds one variable of a name,
// two files (or a file twice) holding the same one are refused, naming
// both; so is an AppVar whose own size word disagrees with its entry.
// Nothing, with the reason in `error`, when a file cannot be read or is not
// what it should be.
std::optional<ProgramWithVideo> readProgramWithVideo(const QString& path, std::string* error);

}  // namespace zoetra::calc
