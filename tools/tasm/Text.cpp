#include "Text.h"

namespace tasm {

Directive directiveNamed(std::string_view upperWord)
{
    struct Entry {
        std::string_view name;
        Directive directive;
    };
    using D = Directive;
    static constexpr Entry entries[] = {
        {".ORG", D::Org},         {".EQU", D::Equ},         {".SET", D::Set},           {".DB", D::Byte},
        {".BYTE", D::Byte},       {".TEXT", D::Byte},       {".DW", D::Word},           {".WORD", D::Word},
        {".BLOCK", D::Block},     {".DS", D::Block},        {".FILL", D::Fill},         {".ECHO", D::Echo},
        {".LIST", D::List},       {".NOLIST", D::NoList},   {".MODULE", D::Module},     {".END", D::End},
        {".MSFIRST", D::MsFirst}, {".LSFIRST", D::LsFirst}, {".ADDINSTR", D::AddInstr}, {".CHK", D::Chk},
        {".TITLE", D::Ignored},   {".EJECT", D::Ignored},   {".PAGE", D::Ignored},      {".CODES", D::Ignored},
        {".NOCODES", D::Ignored}, {".EXPORT", D::Ignored},  {".SYM", D::Ignored},       {".AVSYM", D::Ignored},
        {".LOCALLABELCHAR", D::Ignored},
    };
    if (upperWord.size() < 3 || upperWord.size() > 15 || upperWord[0] != '.') {
        return D::None;
    }
    for (const Entry& e : entries) {
        if (e.name.size() == upperWord.size() && e.name[1] == upperWord[1] && e.name == upperWord) {
            return e.directive;
        }
    }
    return D::None;
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
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && isBlank(*begin)) {
        ++begin;
    }
    while (end != begin && isBlank(*(end - 1))) {
        --end;
    }
    return {begin, static_cast<std::size_t>(end - begin)};
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
    const char* const start = text.data() + i;
    const char* const end = text.data() + text.size();
    for (const char* p = start + 1; p != end; ++p) {
        if (*p == '\\') {
            if (p + 1 == end) {
                break;
            }
            ++p;
            continue;
        }
        if (*p == quote) {
            return static_cast<std::size_t>(p + 1 - start);
        }
    }
    return text.size() - i;
}

std::string_view stripComment(std::string_view text)
{
    // Most lines hold no quote: then the comment starts at the first ';'.
    // (find() is memchr, far cheaper than a loop that tests every character.)
    if (text.find('"') == std::string_view::npos && text.find('\'') == std::string_view::npos) {
        return text.substr(0, text.find(';'));
    }
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; p != end; ++p) {
        if ((detail::classOf(*p) & (detail::Quote | detail::Separator)) == 0) {
            continue;
        }
        if (*p == ';') {
            return text.substr(0, static_cast<std::size_t>(p - begin));
        }
        if (*p == '"' || *p == '\'') {
            const std::size_t n = quotedLength(text, static_cast<std::size_t>(p - begin));
            if (n > 0) {
                p += n - 1;
            }
        }
    }
    return text;
}

std::vector<std::string_view> splitStatements(std::string_view line)
{
    std::vector<std::string_view> parts;
    splitStatements(line, parts);
    return parts;
}

void splitStatements(std::string_view line, std::vector<std::string_view>& parts)
{
    parts.clear();
    if (line.find('\\') == std::string_view::npos) {
        parts.push_back(line);
        return;
    }
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* start = begin;
    for (const char* p = begin; p != end; ++p) {
        if ((detail::classOf(*p) & (detail::Quote | detail::Separator)) == 0) {
            continue;
        }
        if (*p == '"' || *p == '\'') {
            const std::size_t n = quotedLength(line, static_cast<std::size_t>(p - begin));
            if (n > 0) {
                p += n - 1;
            }
            continue;
        }
        if (*p == '\\') {
            parts.emplace_back(start, static_cast<std::size_t>(p - start));
            start = p + 1;
        }
    }
    parts.emplace_back(start, static_cast<std::size_t>(end - start));
}

bool endsFile(std::string_view line)
{
    // Most lines hold no ".end" at all; the full reading is for those that do.
    bool candidate = false;
    for (const char mark : {'.', '#'}) {
        for (std::size_t at = line.find(mark); at != std::string_view::npos && !candidate; at = line.find(mark, at + 1)) {
            candidate = at + 3 < line.size() && (line[at + 1] | 0x20) == 'e' && (line[at + 2] | 0x20) == 'n' &&
                        (line[at + 3] | 0x20) == 'd';
        }
    }
    if (!candidate) {
        return false;
    }
    bool first = true;
    for (std::string_view rest : splitStatements(stripComment(line))) {
        // Past the label, as the statement parser reads it.
        if (first && !rest.empty() && isIdentStart(rest[0])) {
            const std::size_t end = identifierEnd(rest, 0);
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
            const std::size_t end = identifierEnd(rest, 0);
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
