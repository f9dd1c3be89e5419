#pragma once

#include "Diagnostics.h"
#include "Preprocessor.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tasm {

struct Options {
    bool foldCase = false;  // -i: labels and symbols in upper case
    std::vector<std::pair<std::string, std::string>> defines;  // -d
    bool listing = false;
    bool extended = false;  // -x: the HD64180's instructions as well
    Preprocessor::FileReader reader;  // empty: read from disk
};

struct Image {
    std::vector<std::uint8_t> bytes;  // 64 KB
    std::vector<bool> written;        // which addresses were written
    int lowest = -1;                  // -1 when nothing was written
    int highest = -1;
};

struct Result {
    bool ok = false;
    Image image;
    std::string listing;
    std::vector<std::string> echoes;  // what .echo printed, in order
    Diagnostics diagnostics;
    int passes = 0;
};

// Assembles a source file: preprocessor, statements, passes until every
// label has settled, then the image.
Result assemble(const std::string& sourcePath, const Options& options);

}  // namespace tasm
