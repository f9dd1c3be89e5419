#include "Text.h"

#include <set>

namespace tasm {

bool isDirectiveName(const std::string& upperWord)
{
    static const std::set<std::string> names = {
        ".ORG", ".EQU", ".SET", ".DB", ".BYTE", ".DW", ".WORD", ".TEXT", ".BLOCK", ".DS", ".FILL", ".ECHO",
        ".LIST", ".NOLIST", ".MODULE", ".END", ".ADDINSTR", ".TITLE", ".EJECT", ".PAGE", ".LSFIRST",
        ".MSFIRST", ".CODES", ".NOCODES", ".CHK", ".EXPORT", ".LOCALLABELCHAR", ".SYM", ".AVSYM"};
    return names.count(upperWord) > 0;
}

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
        // 'c', '\c' or '\ooo'; a lone ' (as in AF') is no constant. '\' is
        // a backslash unless another quote follows ('\'' is a quote).
        if (i + 2 < text.size() && text[i + 2] == '\'' &&
            (text[i + 1] != '\\' || i + 3 >= text.size() || text[i + 3] != '\'')) {
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

std::vector<std::string_view> splitStatements(std::string_view line)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' || c == '\'') {
            const std::size_t n = quotedLength(line, i);
            if (n > 0) {
                i += n - 1;
                continue;
            }
        }
        if (c == '\\') {
            parts.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(line.substr(start));
    return parts;
}

bool endsFile(std::string_view line)
{
    bool first = true;
    for (std::string_view rest : splitStatements(stripComment(line))) {
        // Past the label, as the statement parser reads it.
        if (first && !rest.empty() && isIdentStart(rest[0])) {
            std::size_t end = 0;
            while (end < rest.size() && isIdentChar(rest[end])) {
                ++end;
            }
            const std::string word = upper(rest.substr(0, end));
            if (word == ".END") {
                return true;
            }
            if (word[0] == '.' && isDirectiveName(word)) {
                first = false;
                continue;
            }
            rest.remove_prefix(end);
            if (!rest.empty() && rest[0] == ':') {
                rest.remove_prefix(1);
            }
        } else {
            rest = trim(rest);
            std::size_t end = 0;
            while (end < rest.size() && isIdentChar(rest[end])) {
                ++end;
            }
            if (end > 0 && end < rest.size() && rest[end] == ':') {
                rest.remove_prefix(end + 1);
            }
        }
        first = false;
        rest = trim(rest);
        if (rest.size() >= 4 && (rest[0] == '.' || rest[0] == '#') && upper(rest.substr(1, 3)) == "END" &&
            (rest.size() == 4 || !isIdentChar(rest[4]) || rest[4] == '.')) {
            return true;
        }
    }
    return false;
}

}  // namespace tasm
