#include "devpac8x/VariableFile.h"

#include "devpac8x/ProgramFile.h"

#include <algorithm>
#include <stdexcept>

namespace devpac8x {

namespace {

void appendWord(std::vector<std::uint8_t>& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

Variable withSizeWord(std::uint8_t type, std::string_view name, std::span<const std::uint8_t> bytes, bool archived)
{
    if (bytes.size() > MaxProgramSize) {
        throw std::length_error("too many bytes for one variable");
    }
    Variable variable;
    variable.type = type;
    variable.name = variableName(name);
    variable.archived = archived;
    appendWord(variable.data, bytes.size());
    variable.data.insert(variable.data.end(), bytes.begin(), bytes.end());
    return variable;
}

std::size_t word(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return bytes[at] | static_cast<std::size_t>(bytes[at + 1]) << 8;
}

}  // namespace

Variable appVar(std::string_view name, std::span<const std::uint8_t> bytes, bool archived)
{
    return withSizeWord(AppVarType, name, bytes, archived);
}

Variable protectedProgram(std::string_view name, std::span<const std::uint8_t> program)
{
    return withSizeWord(ProtectedProgramType, name, program, false);
}

std::vector<std::uint8_t> makeVariableFile(std::span<const Variable> variables, std::string_view comment)
{
    std::vector<std::uint8_t> entries;
    for (const Variable& variable : variables) {
        if (variable.name.empty() || variable.name.size() > NameSize) {
            throw std::invalid_argument("a variable name of 1 to 8 characters");
        }
        appendWord(entries, VariableHeaderSize);
        appendWord(entries, variable.data.size());
        entries.push_back(variable.type);
        const std::size_t nameAt = entries.size();
        entries.insert(entries.end(), variable.name.begin(), variable.name.end());
        entries.resize(nameAt + NameSize, 0x00);
        entries.push_back(0x00);                              // version
        entries.push_back(variable.archived ? 0x80 : 0x00);  // flag
        appendWord(entries, variable.data.size());
        entries.insert(entries.end(), variable.data.begin(), variable.data.end());
    }
    if (entries.size() > 0xFFFF) {
        throw std::length_error("more than a variable file's 65,535 bytes of entries");
    }

    std::vector<std::uint8_t> out;
    for (const char c : std::string_view("**TI83F*")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.insert(out.end(), {0x1A, 0x0A, 0x00});
    for (const char c : comment.substr(0, std::min(comment.size(), CommentSize))) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.resize(SignatureSize + CommentSize, 0x00);
    appendWord(out, entries.size());
    out.insert(out.end(), entries.begin(), entries.end());
    appendWord(out, checksum(entries));
    return out;
}

std::vector<Variable> readVariableFile(std::span<const std::uint8_t> file, std::string* error)
{
    const auto fail = [error](const char* why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::vector<Variable>{};
    };
    if (file.size() < FileHeaderSize + ChecksumSize ||
        !std::equal(file.begin(), file.begin() + 8, std::string_view("**TI83F*").begin())) {
        return fail("not a TI-83 Plus variable file");
    }
    const std::size_t length = word(file, FileHeaderSize - 2);
    if (FileHeaderSize + length + ChecksumSize != file.size()) {
        return fail("the file's length does not match its header");
    }
    const auto entries = file.subspan(FileHeaderSize, length);
    if (checksum(entries) != word(file, FileHeaderSize + length)) {
        return fail("the checksum does not match");
    }
    std::vector<Variable> variables;
    for (std::size_t at = 0; at < entries.size();) {
        if (at + 4 > entries.size()) {
            return fail("an entry is cut short");
        }
        const std::size_t header = word(entries, at);
        const std::size_t size = word(entries, at + 2);
        if (header != VariableHeaderSize || at + 2 + header + 2 + size > entries.size()) {
            return fail("an entry is cut short");
        }
        Variable variable;
        variable.type = entries[at + 4];
        const auto name = entries.subspan(at + 5, NameSize);
        variable.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
        variable.archived = (entries[at + 14] & 0x80) != 0;
        const std::size_t dataAt = at + 2 + header + 2;
        variable.data.assign(entries.begin() + static_cast<std::ptrdiff_t>(dataAt),
                             entries.begin() + static_cast<std::ptrdiff_t>(dataAt + size));
        variables.push_back(std::move(variable));
        at = dataAt + size;
    }
    return variables;
}

}  // namespace devpac8x
