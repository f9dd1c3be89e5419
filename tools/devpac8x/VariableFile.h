#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace devpac8x {

inline constexpr std::uint8_t AppVarType = 0x15;

// One variable of a TI-83 Plus variable file, as link software sends it.
struct Variable {
    std::uint8_t type = AppVarType;
    std::string name;  // 1 to 8 characters, as the calculator stores it
    // The variable's data as the calculator keeps it: for programs and
    // AppVars their 2-byte size word, then their bytes.
    std::vector<std::uint8_t> data;
    bool archived = false;  // sent straight into the archive
};

// An AppVar of the bytes, its size word in front; refuses more than fits.
Variable appVar(std::string_view name, std::span<const std::uint8_t> bytes, bool archived);
// A protected (assembly) program of the bytes, its size word in front.
Variable protectedProgram(std::string_view name, std::span<const std::uint8_t> program);

// A variable file ("**TI83F*") with each variable as an entry of its own:
// with one AppVar a .8xv file, with several variables a multi-variable
// .8xg file whose entries link software sends one by one.
std::vector<std::uint8_t> makeVariableFile(std::span<const Variable> variables, std::string_view comment);

// The entries of a variable file; empty, with a reason, when it is not one.
std::vector<Variable> readVariableFile(std::span<const std::uint8_t> file, std::string* error = nullptr);

}  // namespace devpac8x
