#include "calc/ProgramFile.h"

namespace zoetra::calc {

namespace {

unsigned word(const std::vector<std::uint8_t>& f, std::size_t at)
{
    return f[at] | (unsigned{f[at + 1]} << 8);
}

std::optional<ProgramFileContents> fail(std::string* error, const std::string& why)
{
    if (error != nullptr) {
        *error = why;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ProgramFileContents> readProgramFile(const std::vector<std::uint8_t>& f,
                                                   std::string* error)
{
    if (f.size() < 0x48 + 2 + 2) {
        return fail(error, "file too short");
    }
    const std::uint8_t signature[11] = {0x2A, 0x2A, 0x54, 0x49, 0x38, 0x33, 0x46, 0x2A, 0x1A, 0x0A, 0x00};
    for (std::size_t i = 0; i < 11; ++i) {
        if (f[i] != signature[i]) {
            return fail(error, "bad signature");
        }
    }
    if (word(f, 0x35) != f.size() - 57) {
        return fail(error, "data-section length does not match the file size");
    }
    if (word(f, 0x37) != 0x0D) {
        return fail(error, "variable header length is not 0Dh");
    }
    const unsigned dataLength = word(f, 0x39);
    if (word(f, 0x46) != dataLength) {
        return fail(error, "the two variable data lengths differ");
    }
    if (0x48 + dataLength + 2 != f.size()) {
        return fail(error, "variable data length does not match the file size");
    }
    if (dataLength < 2 || word(f, 0x48) != dataLength - 2) {
        return fail(error, "program length does not match the variable data length");
    }
    unsigned sum = 0;
    for (std::size_t i = 0x37; i < f.size() - 2; ++i) {
        sum += f[i];
    }
    if ((sum & 0xFFFF) != word(f, f.size() - 2)) {
        return fail(error, "bad checksum");
    }

    ProgramFileContents contents;
    for (std::size_t i = 0x0B; i < 0x35 && f[i] != 0; ++i) {
        contents.comment += static_cast<char>(f[i]);
    }
    while (!contents.comment.empty() && contents.comment.back() == ' ') {
        contents.comment.pop_back();
    }
    contents.type = f[0x3B];
    for (std::size_t i = 0x3C; i < 0x44 && f[i] != 0; ++i) {
        contents.name += static_cast<char>(f[i]);
    }
    contents.version = f[0x44];
    contents.flag = f[0x45];
    contents.program.assign(f.begin() + 0x4A, f.end() - 2);
    return contents;
}

std::uint16_t shellEntry(const std::vector<std::uint8_t>& program)
{
    constexpr std::uint16_t origin = 0x9D93;
    // ret (a direct Asm( run ends there), then the MirageOS marker byte.
    if (program.size() > 4 && program[2] == 0xC9 && program[3] == 0x01) {
        std::size_t at = 4 + 30;  // past the 15x15 icon
        while (at < program.size() && program[at] != 0) {
            ++at;
        }
        if (at < program.size()) {
            return static_cast<std::uint16_t>(origin + at + 1);
        }
    }
    return origin + 2;
}

}  // namespace zoetra::calc
