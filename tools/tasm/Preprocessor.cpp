#include "Preprocessor.h"

#include "Expression.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace tasm {

namespace {

bool readWholeFile(const std::string& path, std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

// The directive word of a line ("define" for "#define" or ".DEFINE"), in
// lower case in the buffer, with the rest of the line after it; empty when
// the line starts otherwise.
std::string_view directiveWord(std::string_view line, std::string_view& rest, char (&buffer)[8])
{
    std::string_view t = trim(line);
    if (t.empty() || (t[0] != '#' && t[0] != '.')) {
        return {};
    }
    std::size_t end = 1;
    while (end < t.size() && isIdentChar(t[end]) && t[end] != '.') {
        ++end;
    }
    // No directive of the preprocessor is longer than seven letters.
    if (end - 1 > sizeof buffer - 1) {
        return {};
    }
    rest = t.substr(end);
    for (std::size_t i = 1; i < end; ++i) {
        const char c = t[i];
        buffer[i - 1] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return {buffer, end - 1};
}


}  // namespace

bool Preprocessor::sameName(const std::string& folded, std::string_view name) const
{
    if (folded.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (foldCase_ && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != folded[i]) {
            return false;
        }
    }
    return true;
}

Preprocessor::Preprocessor(Diagnostics& diagnostics, bool foldCase, FileReader reader)
    : diagnostics_(diagnostics), foldCase_(foldCase), readsDisk_(!reader),
      reader_(reader ? std::move(reader) : FileReader(readWholeFile))
{
}

std::string Preprocessor::key(const std::string& name) const
{
    return foldCase_ ? upper(name) : name;
}

const Preprocessor::Macro* Preprocessor::findMacro(std::string_view name) const
{
    const auto first = static_cast<unsigned char>(foldCase_ && name[0] >= 'a' && name[0] <= 'z' ? name[0] - 32 : name[0]);
    if (!firstChars_[first]) {
        return nullptr;
    }
    lookupKey_.assign(name);
    if (foldCase_) {
        for (char& c : lookupKey_) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
    }
    const auto it = macros_.find(lookupKey_);
    return it == macros_.end() ? nullptr : &it->second;
}

void Preprocessor::store(const std::string& name, Macro macro)
{
    firstChars_[static_cast<unsigned char>(name[0])] = true;
    macros_[name] = std::move(macro);
    lastDefined_ = name;
}

void Preprocessor::define(const std::string& name, const std::string& body)
{
    Macro macro;
    macro.body = body;
    if (!name.empty()) {
        store(key(name), std::move(macro));
    }
}

bool Preprocessor::isDefined(const std::string& name) const
{
    return macros_.count(key(name)) > 0;
}

std::vector<SourceLine> Preprocessor::run(const std::string& path)
{
    std::vector<SourceLine> out;
    conditions_.clear();
    processFile(path, Location{path, 0}, 0, out);
    for (const Condition& c : conditions_) {
        diagnostics_.error(c.where, "#if without #endif");
    }
    conditions_.clear();
    return out;
}

void Preprocessor::processFile(const std::string& path, const Location& from, int depth,
                               std::vector<SourceLine>& out)
{
    std::string bytes;
    if (!reader_(path, bytes)) {
        diagnostics_.error(from, "cannot open '" + path + "'");
        return;
    }
    processText(path, bytes, from, depth, out);
}

void Preprocessor::processText(const std::string& path, const std::string& bytes, const Location& from, int depth,
                               std::vector<SourceLine>& out)
{
    if (depth > MaxIncludeDepth) {
        diagnostics_.error(from, "includes nested too deeply (an include loop?)");
        return;
    }
    if (bytes.find('\0') != std::string::npos) {
        diagnostics_.error(Location{path, 0}, "not a text file");
        return;
    }
    const std::size_t conditionDepth = conditions_.size();
    // A UTF-8 byte order mark, as Windows editors write one, is no text.
    std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int lineNumber = 0;
    bool ended = false;
    while (start <= bytes.size() && !diagnostics_.full()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        ++lineNumber;
        std::string_view line(bytes.data() + start, end - start);
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        Location where{path, lineNumber};
        if (line.size() > MaxLineLength) {
            diagnostics_.error(where, "line too long");
        } else if (!directive(line, where, path, depth, out) && active()) {
            std::string expanded = expand(line, where);
            // TASM reads no further in a file than its .end: an included
            // file's .end returns to the file that included it.
            ended = endsFile(expanded);
            std::string original = expanded == line ? std::string() : std::string(line);
            out.push_back({std::move(where), std::move(expanded), std::move(original)});
            if (ended) {
                break;
            }
        }
        if (end == bytes.size()) {
            break;
        }
        start = end + 1;
    }
    while (conditions_.size() > conditionDepth) {
        if (!ended) {
            diagnostics_.error(conditions_.back().where, "#if without #endif in this file");
        }
        conditions_.pop_back();
    }
}

bool Preprocessor::directive(std::string_view line, const Location& where, const std::string& path, int depth,
                             std::vector<SourceLine>& out)
{
    std::string_view rest;
    char buffer[8];
    const std::string_view word = directiveWord(line, rest, buffer);
    if (word.empty()) {
        return false;
    }

    if (word == "ifdef" || word == "ifndef" || word == "if") {
        bool value = false;
        if (active()) {
            if (word == "if") {
                value = evaluateCondition(std::string(rest), where) != 0;
            } else {
                const std::string_view name = trim(stripComment(rest));
                if (name.empty()) {
                    diagnostics_.error(where, "#" + std::string(word) + " without a name");
                }
                value = isDefined(std::string(name)) == (word == "ifdef");
            }
        }
        conditions_.push_back({active(), value, active() && value, false, where});
        return true;
    }
    if (word == "else") {
        if (conditions_.empty()) {
            diagnostics_.error(where, "#else without #if");
            return true;
        }
        Condition& c = conditions_.back();
        if (c.seenElse) {
            diagnostics_.error(where, "second #else for one #if");
        }
        c.seenElse = true;
        c.active = c.parentActive && !c.taken;
        c.taken = true;
        return true;
    }
    if (word == "endif") {
        if (conditions_.empty()) {
            diagnostics_.error(where, "#endif without #if");
        } else {
            conditions_.pop_back();
        }
        return true;
    }
    if (word != "define" && word != "defcont" && word != "undef" && word != "include") {
        return false;
    }
    if (!active()) {
        return true;
    }

    if (word == "define") {
        const std::string_view t = trim(rest);
        // "#define" with no name (a shell choice that matched nothing)
        // defines nothing.
        if (t.empty()) {
            return true;
        }
        const std::size_t nameEnd = identifierEnd(t, 0);
        if (nameEnd == 0) {
            diagnostics_.error(where, "bad #define name");
            return true;
        }
        Macro macro;
        std::size_t bodyStart = nameEnd;
        if (nameEnd < t.size() && t[nameEnd] == '(') {
            const std::size_t close = t.find(')', nameEnd);
            if (close == std::string_view::npos) {
                diagnostics_.error(where, "missing ')' in #define parameters");
                return true;
            }
            macro.hasParameters = true;
            std::string_view list = t.substr(nameEnd + 1, close - nameEnd - 1);
            while (!trim(list).empty()) {
                const std::size_t comma = list.find(',');
                const std::string_view p = trim(list.substr(0, comma));
                if (p.empty() || identifierEnd(p, 0) != p.size()) {
                    diagnostics_.error(where, "bad #define parameter");
                    return true;
                }
                macro.parameters.push_back(key(std::string(p)));
                if (comma == std::string_view::npos) {
                    break;
                }
                list.remove_prefix(comma + 1);
            }
            bodyStart = close + 1;
        }
        macro.body = std::string(trim(stripComment(t.substr(bodyStart))));
        store(key(std::string(t.substr(0, nameEnd))), std::move(macro));
        return true;
    }
    if (word == "defcont") {
        auto it = macros_.find(lastDefined_);
        if (it == macros_.end()) {
            diagnostics_.error(where, "#defcont without a #define before it");
        } else {
            it->second.body += ' ';
            it->second.body += std::string(trim(stripComment(rest)));
        }
        return true;
    }
    if (word == "undef") {
        macros_.erase(key(std::string(trim(stripComment(rest)))));
        return true;
    }
    // #include "file" (or <file>), found beside the including file first.
    std::string_view name = trim(stripComment(rest));
    if (name.size() >= 2 && ((name.front() == '"' && name.back() == '"') || (name.front() == '<' && name.back() == '>'))) {
        name = name.substr(1, name.size() - 2);
    }
    if (name.empty()) {
        diagnostics_.error(where, "#include without a file name");
        return true;
    }
    std::string target;
    std::string bytes;
    if (findInclude(path, std::string(name), where, target, bytes)) {
        processText(target, bytes, where, depth + 1, out);
    }
    return true;
}

namespace {

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return text;
}

// The files whose names match a relative path in every part but the letter
// case, under a folder; at most two, enough to tell one from several.
std::vector<std::filesystem::path> caseVariants(const std::filesystem::path& folder, const std::filesystem::path& relative)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> found{folder};
    for (const fs::path& part : relative) {
        std::vector<fs::path> next;
        for (const fs::path& base : found) {
            std::error_code ec;
            if (part == "." || part == ".." || fs::exists(base / part, ec)) {
                next.push_back(base / part);
                continue;
            }
            const std::string wanted = lowerCase(part.string());
            const fs::path listed = base.empty() ? fs::path(".") : base;
            for (fs::directory_iterator it(listed, ec), stop; !ec && it != stop; it.increment(ec)) {
                if (lowerCase(it->path().filename().string()) == wanted) {
                    next.push_back(base / it->path().filename());
                }
            }
        }
        std::sort(next.begin(), next.end());
        if (next.size() > 2) {
            next.resize(2);
        }
        found = std::move(next);
        if (found.empty()) {
            break;
        }
    }
    return found;
}

}  // namespace

bool Preprocessor::findInclude(const std::string& from, const std::string& name, const Location& where,
                               std::string& target, std::string& bytes)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(from).parent_path();
    // The exact name first, beside the including file and then as given.
    for (const fs::path& candidate : {folder / fs::path(name), fs::path(name)}) {
        bytes.clear();
        if (reader_(candidate.string(), bytes)) {
            target = candidate.string();
            return true;
        }
        if (candidate == fs::path(name)) {
            break;
        }
    }
    // Else the one file of that name in another letter case (with DOS
    // backslashes as folder separators). Sources read from memory have no
    // folders to search.
    if (!readsDisk_) {
        diagnostics_.error(where, "cannot open '" + name + "'");
        return false;
    }
    std::string portable = name;
    std::replace(portable.begin(), portable.end(), '\\', '/');
    for (const fs::path& base : {folder, fs::path()}) {
        const std::vector<fs::path> found = caseVariants(base, fs::path(portable));
        if (found.size() > 1) {
            diagnostics_.error(where, "'" + name + "' is ambiguous: both '" + found[0].string() + "' and '" +
                                          found[1].string() + "' match it but for the letter case");
            return false;
        }
        bytes.clear();
        if (found.size() == 1 && reader_(found[0].string(), bytes)) {
            target = found[0].string();
            return true;
        }
        if (base.empty()) {
            break;
        }
    }
    diagnostics_.error(where, "cannot open '" + name + "'");
    return false;
}

long Preprocessor::evaluateCondition(const std::string& text, const Location& where)
{
    const std::string expanded = expand(std::string(stripComment(text)), where);
    // Names still left after substitution count as 0, as in C.
    const Evaluation e = evaluate(trim(expanded), 0, {}, false);
    if (!e.ok) {
        diagnostics_.error(where, "#if: " + e.error);
        return 0;
    }
    return e.value.value;
}

std::string Preprocessor::expand(std::string_view text, const Location& where)
{
    if (macros_.empty()) {
        return std::string(text);
    }
    const std::size_t limit = text.size() + MaxExpansionGrowth;
    std::string current;
    std::string next;
    std::string before;  // the text two rounds back
    std::string_view source = text;
    for (int round = 0; round < MaxExpansionRounds; ++round) {
        bool failed = false;
        if (!expandOnce(source, next, failed, where, limit)) {
            return round == 0 ? std::string(text) : current;
        }
        if (failed) {
            // Reported already; assembling the half-substituted line would
            // only add errors about the same mistake.
            return {};
        }
        if (next.size() > limit) {
            diagnostics_.error(where, "#define substitution grows without end");
            return {};
        }
        // Back to a text of one or two rounds before (a name defined as
        // itself, two names defined as each other): it will never end.
        if (next == source || (round >= 1 && next == before)) {
            break;
        }
        std::swap(before, current);
        std::swap(current, next);  // next keeps a buffer to reuse
        source = current;
    }
    diagnostics_.error(where, "#define substitution does not end (a name that refers to itself?)");
    return {};
}

bool Preprocessor::expandOnce(std::string_view text, std::string& out, bool& failed, const Location& where,
                              std::size_t limit)
{
    // The text is copied only up to a substitution, when there is one: most
    // lines hold none.
    bool changed = false;
    std::size_t copied = 0;
    auto flush = [&](std::size_t upTo) {
        if (!changed) {
            out.clear();
            changed = true;
        }
        out.append(text.substr(copied, upTo - copied));
    };
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size) {
        if (changed && out.size() > limit) {
            // The round's result is too long already; the caller reports it.
            return true;
        }
        // Past what can start no name, string or comment.
        {
            const char* p = text.data() + i;
            const char* const end = text.data() + size;
            while (p != end && (detail::classOf(*p) & (detail::IdentChar | detail::Quote | detail::Separator)) == 0 &&
                   *p != '$') {
                ++p;
            }
            i = static_cast<std::size_t>(p - text.data());
            if (p == end) {
                break;
            }
        }
        const char c = text[i];
        if (c == ';') {
            break;
        }
        if (c == '"' || c == '\'') {
            const std::size_t n = quotedLength(text, i);
            if (n > 0) {
                i += n;
                continue;
            }
        }
        if ((c >= '0' && c <= '9') || c == '$') {
            // A number such as 0BBh or $FF is no name.
            i = identifierEnd(text, i + 1);
            continue;
        }
        if (!isIdentStart(c)) {
            ++i;
            continue;
        }
        const std::size_t end = identifierEnd(text, i);
        const Macro* const found = findMacro(text.substr(i, end - i));
        if (!found) {
            i = end;
            continue;
        }
        const Macro& macro = *found;
        if (!macro.hasParameters) {
            flush(i);
            out += macro.body;
            i = end;
            copied = end;
            continue;
        }
        // A macro with parameters needs its argument list.
        std::size_t open = end;
        while (open < text.size() && isBlank(text[open])) {
            ++open;
        }
        if (open >= text.size() || text[open] != '(') {
            i = end;
            continue;
        }
        std::vector<std::string> arguments;
        std::string argument;
        int level = 0;
        std::size_t j = open + 1;
        bool closed = false;
        while (j < text.size()) {
            const char a = text[j];
            if (a == '"' || a == '\'') {
                const std::size_t n = quotedLength(text, j);
                if (n > 0) {
                    argument.append(text.substr(j, n));
                    j += n;
                    continue;
                }
            }
            if (a == '(') {
                ++level;
            } else if (a == ')') {
                if (level == 0) {
                    closed = true;
                    break;
                }
                --level;
            } else if (a == ',' && level == 0) {
                arguments.push_back(std::string(trim(argument)));
                argument.clear();
                ++j;
                continue;
            }
            argument += a;
            ++j;
        }
        if (!closed) {
            diagnostics_.error(where, "missing ')' after the arguments of '" + std::string(text.substr(i, end - i)) + "'");
            failed = true;
            return true;
        }
        if (!trim(argument).empty() || !arguments.empty()) {
            arguments.push_back(std::string(trim(argument)));
        }
        if (arguments.size() != macro.parameters.size()) {
            diagnostics_.error(where, "'" + std::string(text.substr(i, end - i)) + "' takes " +
                                          std::to_string(macro.parameters.size()) + " arguments, not " +
                                          std::to_string(arguments.size()));
            failed = true;
            return true;
        }
        flush(i);
        // Substitute the parameters in the body, whole names only.
        const std::string& body = macro.body;
        std::size_t k = 0;
        while (k < body.size()) {
            const char b = body[k];
            if (b == '"' || b == '\'') {
                const std::size_t n = quotedLength(body, k);
                if (n > 0) {
                    out.append(body, k, n);
                    k += n;
                    continue;
                }
            }
            if ((b >= '0' && b <= '9') || b == '$') {
                const std::size_t e = identifierEnd(body, k + 1);
                out.append(body, k, e - k);
                k = e;
                continue;
            }
            if (!isIdentStart(b)) {
                out += b;
                ++k;
                continue;
            }
            const std::size_t e = identifierEnd(body, k);
            const std::string_view word = std::string_view(body).substr(k, e - k);
            bool replaced = false;
            for (std::size_t p = 0; p < macro.parameters.size(); ++p) {
                if (sameName(macro.parameters[p], word)) {
                    out += arguments[p];
                    replaced = true;
                    break;
                }
            }
            if (!replaced) {
                out.append(word);
            }
            k = e;
        }
        i = j + 1;
        copied = i;
    }
    if (changed) {
        out.append(text.substr(copied));
    }
    return changed;
}

}  // namespace tasm
