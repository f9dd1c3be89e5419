#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tasm {

// A value, and whether it is final: a forward reference is not known until
// a later pass has seen its label.
struct Value {
    std::int32_t value = 0;
    bool known = true;
};

struct Evaluation {
    bool ok = true;
    Value value;
    std::string error;  // when not ok
};

// A symbol's value, or nothing when the name is not defined (yet).
using SymbolLookup = std::function<std::optional<Value>(std::string_view name)>;

// Evaluates an expression the TASM way: 32-bit, strictly left to right with
// no operator precedence (1+2*3+4 is 13), parentheses group. "$" or a lone
// "*" is the address of the current statement. Undefined names are errors
// when undefinedIsError is set, else values that are not known yet.
Evaluation evaluate(std::string_view text, std::int32_t here, const SymbolLookup& lookup,
                    bool undefinedIsError);

// The value of a number written in any of the assembler's forms ($FF, 0FFh,
// %101, 101b, @17, 17o, 17q, 123, 123d); nothing when it is none.
std::optional<std::int64_t> parseNumber(std::string_view text);

// Decodes the escapes of a string or character constant body (\n \r \t \b
// \f \" \' \\ and octal \ooo); false on a bad escape.
bool decodeEscapes(std::string_view body, std::string& out);

}  // namespace tasm
