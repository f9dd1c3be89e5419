#include "devpac8x/ProgramFile.h"

#include <algorithm>
#include <stdexcept>

namespace devpac8x {

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

void appendWord(std::vector<std::uint8_t>& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

}  // namespace

std::string checkVariableName(std::string_view name)
{
    if (name.empty()) {
        return "the program name is empty";
    }
    if (name.size() > NameSize) {
        return "the program name has more than 8 characters";
    }
    if (!isAsciiLetter(name.front())) {
        return "the program name must start with a letter";
    }
    if (!std::all_of(name.begin(), name.end(),
                     [](char c) { return isAsciiLetter(c) || isAsciiDigit(c); })) {
        return "the program name may hold only letters and digits";
    }
    return {};
}

std::string variableName(std::string_view name)
{
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return upper;
}

std::uint16_t checksum(std::span<const std::uint8_t> bytes)
{
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::vector<std::uint8_t> makeProgramFile(std::string_view name,
                                          std::span<const std::uint8_t> program,
                                          std::string_view comment)
{
    if (!checkVariableName(name).empty()) {
        throw std::invalid_argument("invalid program name");
    }
    if (program.size() > MaxProgramSize) {
        throw std::length_error("program too large for one variable");
    }
    const std::size_t dataLength = program.size() + 2;

    std::vector<std::uint8_t> out;
    out.reserve(FileOverhead + dataLength);
    for (const char c : std::string_view("**TI83F*")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.insert(out.end(), {0x1A, 0x0A, 0x00});
    const std::string_view shownComment = comment.substr(0, std::min(comment.size(), CommentSize));
    for (const char c : shownComment) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.resize(SignatureSize + CommentSize, 0x00);
    appendWord(out, 2 + VariableHeaderSize + 2 + dataLength);

    const std::size_t checkedFrom = out.size();
    appendWord(out, VariableHeaderSize);
    appendWord(out, dataLength);
    out.push_back(ProtectedProgramType);
    for (const char c : variableName(name)) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.resize(checkedFrom + 2 + 2 + 1 + NameSize, 0x00);
    out.push_back(0x00);  // version
    out.push_back(0x00);  // in RAM, not archived
    appendWord(out, dataLength);
    appendWord(out, program.size());
    out.insert(out.end(), program.begin(), program.end());

    appendWord(out, checksum(std::span(out).subspan(checkedFrom)));
    return out;
}

}  // namespace devpac8x
