#pragma once

#include <string>
#include <string_view>

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

std::string upper(std::string_view text);
std::string_view trim(std::string_view text);

// Length of the string or character constant that starts at text[i] (a " or
// a '), or 0 when the ' there is no character constant (as in AF'). A
// string without its closing quote reaches the end of the text.
std::size_t quotedLength(std::string_view text, std::size_t i);

// The text before the first ';' that lies outside strings and character
// constants.
std::string_view stripComment(std::string_view text);

}  // namespace tasm
