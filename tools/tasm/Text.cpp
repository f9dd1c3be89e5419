#include "Text.h"

namespace tasm {

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::size_t quotedLength(std::string_view text, std::size_t i)
{
    const char quote = text[i];
    if (quote == '\'') {
        // 'c', '\c' or '\ooo'; a lone ' (as in AF') is no constant.
        if (i + 2 < text.size() && text[i + 1] != '\\' && text[i + 2] == '\'') {
            return 3;
        }
        if (i + 3 < text.size() && text[i + 1] == '\\' && text[i + 3] == '\'') {
            return 4;
        }
        if (i + 5 < text.size() && text[i + 1] == '\\' && text[i + 5] == '\'') {
            return 6;
        }
        return 0;
    }
    std::size_t j = i + 1;
    while (j < text.size()) {
        if (text[j] == '\\' && j + 1 < text.size()) {
            j += 2;
            continue;
        }
        if (text[j] == quote) {
            return j + 1 - i;
        }
        ++j;
    }
    return text.size() - i;
}

std::string_view stripComment(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ';') {
            return text.substr(0, i);
        }
        if (c == '"' || c == '\'') {
            const std::size_t n = quotedLength(text, i);
            if (n > 0) {
                i += n;
                continue;
            }
        }
        ++i;
    }
    return text;
}

}  // namespace tasm
