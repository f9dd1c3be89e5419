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

// The bytes written, kept for the span from the lowest to the highest
// address only: most programs fill a few KB of the 64 KB.
class Image {
public:
    int lowest = -1;  // -1 when nothing was written
    int highest = -1;

    void write(int address, std::uint8_t byte);
    bool isWritten(int address) const;
    std::uint8_t at(int address) const;  // 0 where nothing was written
    // The bytes from the lowest to the highest address, gaps as 0.
    std::vector<std::uint8_t> bytes() const;

private:
    int origin_ = 0;  // the address of storage_[0]; at most lowest
    std::vector<std::uint8_t> storage_;
    std::vector<std::uint8_t> written_;
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
