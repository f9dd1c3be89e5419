#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tasm {

// Character classes by table: the scanners test every character of every
// line, and one lookup is cheaper than a chain of comparisons.
namespace detail {
enum : unsigned char {
    IdentStart = 1,
    IdentChar = 2,
    Blank = 4,
    Quote = 8,      // " '
    Separator = 16, // ; \ ( ) ,: the characters the scanners stop at
};
constexpr std::array<unsigned char, 256> characterClasses = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
        const bool digit = c >= '0' && c <= '9';
        const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
        const bool quote = c == '"' || c == '\'';
        const bool separator = c == ';' || c == '\\' || c == '(' || c == ')' || c == ',';
        table[static_cast<std::size_t>(c)] = static_cast<unsigned char>(
            (letter ? IdentStart : 0) | (letter || digit ? IdentChar : 0) | (blank ? Blank : 0) |
            (quote ? Quote : 0) | (separator ? Separator : 0));
    }
    return table;
}();

inline unsigned char classOf(char c)
{
    return characterClasses.data()[static_cast<unsigned char>(c)];
}
}  // namespace detail

inline bool isIdentStart(char c)
{
    return (detail::classOf(c) & detail::IdentStart) != 0;
}

inline bool isIdentChar(char c)
{
    return (detail::classOf(c) & detail::IdentChar) != 0;
}

inline bool isBlank(char c)
{
    return (detail::classOf(c) & detail::Blank) != 0;
}

// The end of the name (or number) that runs from text[from] on. The
// scanners here walk pointers: they run over every character of every line.
inline std::size_t identifierEnd(std::string_view text, std::size_t from)
{
    const char* p = text.data() + from;
    const char* const end = text.data() + text.size();
    while (p != end && isIdentChar(*p)) {
        ++p;
    }
    return static_cast<std::size_t>(p - text.data());
}

// The directives, by what they do.
enum class Directive : std::uint8_t {
    None, Org, Equ, Set, Byte, Word, Block, Fill, Echo, List, NoList, Module, End, MsFirst, LsFirst, AddInstr, Chk,
    Ignored  // listing and symbol-file controls
};

// The directive an upper-case word with its leading "." names; None when
// it names none.
Directive directiveNamed(std::string_view upperWord);

inline bool isDirectiveName(std::string_view upperWord)
{
    return directiveNamed(upperWord) != Directive::None;
}

std::string upper(std::string_view text);
std::string_view trim(std::string_view text);

// Length of the string or character constant that starts at text[i] (a " or
// a '), or 0 when the ' there is no character constant (as in AF'). A
// string without its closing quote reaches the end of the text. A character
// constant holds one character, a backslash too ('\'); the escaped forms
// '\n' and '\ooo' are read where that reading fails.
std::size_t quotedLength(std::string_view text, std::size_t i);

// The statements of a line, split at the "\" separators outside strings and
// character constants.
std::vector<std::string_view> splitStatements(std::string_view line);
// The same into a vector that is reused.
void splitStatements(std::string_view line, std::vector<std::string_view>& parts);

// Whether a line (comment and all) holds an .END statement: TASM stops
// reading the file there.
bool endsFile(std::string_view line);

// The text before the first ';' that lies outside strings and character
// constants.
std::string_view stripComment(std::string_view text);

}  // namespace tasm
