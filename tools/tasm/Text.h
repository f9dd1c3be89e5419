#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tasm {

inline bool isIdentStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}

inline bool isIdentChar(char c)
{
    return isIdentStart(c) || (c >= '0' && c <= '9');
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// Whether an upper-case word with its leading "." names a directive.
bool isDirectiveName(const std::string& upperWord);

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

// Whether a line (comment and all) holds an .END statement: TASM stops
// reading the file there.
bool endsFile(std::string_view line);

// The text before the first ';' that lies outside strings and character
// constants.
std::string_view stripComment(std::string_view text);

}  // namespace tasm
