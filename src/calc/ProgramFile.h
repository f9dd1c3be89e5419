#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zoetra::calc {

// The parts of a TI-83 Plus .8xp file holding one variable.
struct ProgramFileContents {
    std::string comment;  // up to the first NUL, trailing spaces dropped
    std::uint8_t type = 0;
    std::string name;     // trailing NULs dropped
    std::uint8_t version = 0;
    std::uint8_t flag = 0;
    std::vector<std::uint8_t> program;  // the bytes after the 2-byte program length
};

// Reads a .8xp file image, checking every length field and the checksum;
// nothing and a reason in `error` when the file is malformed. Written from
// the published layout, independently of the packager.
std::optional<ProgramFileContents> readProgramFile(const std::vector<std::uint8_t>& file,
                                                   std::string* error = nullptr);

// Where a shell starts an assembly program (its bytes from the two tokens
// on, loaded at 9D93h): MirageOS after its header, icon and description;
// Ion and no shell at 9D95h, where Asm( starts it too.
std::uint16_t shellEntry(const std::vector<std::uint8_t>& program);

}  // namespace zoetra::calc
