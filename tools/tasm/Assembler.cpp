#include "Assembler.h"

#include "Expression.h"
#include "InstructionSet.h"
#include "Text.h"

#include <cstdio>
#include <map>
#include <optional>
#include <set>

namespace tasm {

namespace {

constexpr int MaxPasses = 12;

// One statement of a line: an optional label, an operation and its operands.
struct Statement {
    Location where;
    std::string label;
    std::string operation;  // upper case; a directive keeps its leading "."
    std::string operands;
    std::string sourceText; // the whole line, for the listing
    bool firstOfLine = true;
};

const std::set<std::string> directives = {
    ".ORG", ".EQU", ".SET", ".DB", ".BYTE", ".DW", ".WORD", ".TEXT", ".BLOCK", ".FILL", ".ECHO",
    ".LIST", ".NOLIST", ".MODULE", ".END", ".ADDINSTR", ".TITLE", ".EJECT", ".PAGE", ".LSFIRST",
    ".MSFIRST", ".CODES", ".NOCODES", ".CHK", ".EXPORT", ".LOCALLABELCHAR", ".SYM", ".AVSYM"};

bool isDirectiveWord(const std::string& upperWord)
{
    return directives.count(upperWord) > 0;
}

// Splits a line at the "\" statement separators outside strings.
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

std::vector<Statement> parseLine(const SourceLine& line, Diagnostics& diagnostics)
{
    std::vector<Statement> statements;
    const std::string_view code = stripComment(line.text);
    bool first = true;
    for (std::string_view part : splitStatements(code)) {
        Statement s;
        s.where = line.where;
        s.sourceText = line.text;
        s.firstOfLine = first;
        std::string_view rest = part;
        // A label starts in the first column of the line; elsewhere a word
        // followed by a colon is one too.
        if (first && !rest.empty() && isIdentStart(rest[0])) {
            std::size_t end = 0;
            while (end < rest.size() && isIdentChar(rest[end])) {
                ++end;
            }
            const std::string word(rest.substr(0, end));
            const bool directive = word[0] == '.' && isDirectiveWord(upper(word));
            if (!directive) {
                s.label = word;
                rest.remove_prefix(end);
                if (!rest.empty() && rest[0] == ':') {
                    rest.remove_prefix(1);
                }
            }
        }
        rest = trim(rest);
        if (s.label.empty() && !rest.empty() && isIdentStart(rest[0])) {
            std::size_t end = 0;
            while (end < rest.size() && isIdentChar(rest[end])) {
                ++end;
            }
            if (end < rest.size() && rest[end] == ':' && !(end + 1 < rest.size() && rest[end + 1] == '=')) {
                s.label = std::string(rest.substr(0, end));
                rest = trim(rest.substr(end + 1));
            }
        }
        if (!rest.empty()) {
            if (rest[0] == '=') {
                s.operation = ".EQU";
                s.operands = std::string(trim(rest.substr(1)));
            } else {
                std::size_t end = 0;
                if (rest[0] == '.' || rest[0] == '#') {
                    end = 1;
                }
                while (end < rest.size() && isIdentChar(rest[end]) && !(end > 0 && rest[end] == '.')) {
                    ++end;
                }
                // AF' style words end at the quote; mnemonics never hold one.
                std::string word = upper(rest.substr(0, end));
                if (!word.empty() && word[0] == '#') {
                    word[0] = '.';
                }
                if (word == "EQU") {
                    word = ".EQU";
                }
                s.operation = word;
                s.operands = std::string(trim(rest.substr(end)));
                if (word.empty()) {
                    diagnostics.error(line.where, "cannot read '" + std::string(rest) + "'");
                    first = false;
                    continue;
                }
            }
        }
        if (!s.label.empty() || !s.operation.empty()) {
            statements.push_back(std::move(s));
        }
        first = false;
    }
    return statements;
}

struct Symbol {
    std::int32_t value = 0;
    int pass = 0;        // the pass that last defined it
    bool known = false;  // its value was final when defined
    bool redefinable = false;
    Location where;
    // The values it was given in this pass and the one before, in order: a
    // name set more than once (.set) has settled when the whole sequence
    // repeats, not when its value stays put.
    std::vector<std::int32_t> values;
    std::vector<std::int32_t> previousValues;
};

class Pass {
public:
    Pass(int number, bool final, std::map<std::string, Symbol>& symbols, InstructionSet& instructions,
         const Options& options, Result& result)
        : number_(number), final_(final), symbols_(symbols), instructions_(instructions), options_(options),
          result_(result)
    {
        result_.image.bytes.assign(65536, 0);
        result_.image.written.assign(65536, false);
        result_.image.lowest = -1;
        result_.image.highest = -1;
        result_.listing.clear();
        result_.echoes.clear();
    }

    void run(const std::vector<Statement>& statements)
    {
        for (const Statement& s : statements) {
            if (ended_ || diagnostics_.full()) {
                break;
            }
            statement(s);
        }
    }

    bool changed() const { return changed_; }
    Diagnostics& diagnostics() { return diagnostics_; }

private:
    std::string symbolKey(std::string_view name) const
    {
        std::string key = options_.foldCase ? upper(name) : std::string(name);
        if (!key.empty() && key[0] == '_') {
            key = module_ + "." + key;
        }
        return key;
    }

    // A name defined further down has the value of the previous pass: a
    // forward reference. Passes repeat until no value moves, so by the final
    // pass every such value is the settled one.
    std::optional<Value> lookup(std::string_view name) const
    {
        const auto it = symbols_.find(symbolKey(name));
        if (it == symbols_.end()) {
            return std::nullopt;
        }
        return Value{it->second.value, it->second.known};
    }

    Evaluation eval(std::string_view text, std::int32_t here)
    {
        return evaluate(trim(text), here, [this](std::string_view n) { return lookup(n); }, final_);
    }

    void define(const Statement& s, const std::string& name, Value value, bool redefinable)
    {
        const std::string key = symbolKey(name);
        Symbol& sym = symbols_[key];
        if (sym.pass == number_ && !(redefinable && sym.redefinable)) {
            diagnostics_.error(s.where, "label '" + name + "' is defined twice (first at " + sym.where.file + ":" +
                                            std::to_string(sym.where.line) + ")");
            return;
        }
        if (sym.pass != number_) {
            sym.previousValues = std::move(sym.values);
            sym.values.clear();
        }
        const std::size_t index = sym.values.size();
        if (sym.pass == 0 || !value.known || (index == 0 && !sym.known) || index >= sym.previousValues.size() ||
            sym.previousValues[index] != value.value) {
            changed_ = true;
        }
        sym.values.push_back(value.value);
        sym.value = value.value;
        sym.known = value.known;
        sym.pass = number_;
        sym.redefinable = redefinable;
        sym.where = s.where;
    }

    void emit(const Statement& s, std::uint8_t byte)
    {
        if (pc_ > 0xFFFF || pc_ < 0) {
            if (!overflowReported_) {
                diagnostics_.error(s.where, "the image runs past FFFFh");
                overflowReported_ = true;
            }
            ++pc_;
            return;
        }
        Image& image = result_.image;
        const auto at = static_cast<std::size_t>(pc_);
        image.bytes[at] = byte;
        image.written[at] = true;
        image.lowest = image.lowest < 0 ? pc_ : std::min(image.lowest, pc_);
        image.highest = std::max(image.highest, pc_);
        ++pc_;
    }

    void statement(const Statement& s)
    {
        const std::int32_t here = pc_;
        const std::string& op = s.operation;
        const std::size_t listingBytesFrom = static_cast<std::size_t>(std::max(0, here));

        if (op == ".EQU" || op == ".SET") {
            if (s.label.empty()) {
                diagnostics_.error(s.where, op + " without a label");
                return;
            }
            const Evaluation e = eval(s.operands, here);
            if (!e.ok) {
                diagnostics_.error(s.where, e.error);
            }
            define(s, s.label, e.ok ? e.value : Value{0, false}, op == ".SET");
            list(s, here, listingBytesFrom, 0);
            return;
        }
        if (!s.label.empty()) {
            define(s, s.label, Value{here, true}, false);
        }
        if (op.empty()) {
            list(s, here, listingBytesFrom, 0);
            return;
        }
        if (op[0] == '.') {
            directive(s, here);
        } else {
            const Encoding enc = instructions_.encode(op, s.operands, here, [&](std::string_view t) { return eval(t, here); });
            if (!enc.ok) {
                diagnostics_.error(s.where, enc.error);
                // Keep the size plausible so later labels do not shift.
                for (std::size_t i = 0; i < std::max<std::size_t>(enc.bytes.size(), 1); ++i) {
                    emit(s, 0);
                }
            } else {
                for (std::uint8_t b : enc.bytes) {
                    emit(s, b);
                }
            }
        }
        list(s, here, listingBytesFrom, pc_ - here);
    }

    void list(const Statement& s, std::int32_t here, std::size_t from, std::int32_t count)
    {
        if (!final_ || !options_.listing || !listing_ || !s.firstOfLine) {
            return;
        }
        char head[16];
        std::snprintf(head, sizeof head, "%05d %04X ", s.where.line, static_cast<unsigned>(here) & 0xFFFF);
        std::string bytes;
        for (std::int32_t i = 0; i < count && i < 8; ++i) {
            const std::size_t at = from + static_cast<std::size_t>(i);
            if (at < 65536) {
                char b[4];
                std::snprintf(b, sizeof b, "%02X ", result_.image.bytes[at]);
                bytes += b;
            }
        }
        bytes.resize(25, ' ');
        result_.listing += head + bytes + s.sourceText + "\n";
    }

    // The items of .db/.dw/.echo, split at commas outside strings.
    void dataItems(const Statement& s, std::int32_t here, int width)
    {
        if (trim(s.operands).empty()) {
            diagnostics_.error(s.where, s.operation + " without values");
            return;
        }
        for (const std::string& item : InstructionSet::splitOperands(s.operands)) {
            if (!item.empty() && item[0] == '"') {
                const std::size_t n = quotedLength(item, 0);
                std::string text;
                if (n < 2 || item[n - 1] != '"' || (n == item.size() && item.size() < 2)) {
                    diagnostics_.error(s.where, "unterminated string");
                    return;
                }
                if (n != item.size()) {
                    diagnostics_.error(s.where, "unexpected text after a string");
                    return;
                }
                if (!decodeEscapes(std::string_view(item).substr(1, n - 2), text)) {
                    diagnostics_.error(s.where, "bad escape in string");
                    return;
                }
                if (width != 1) {
                    diagnostics_.error(s.where, "a string cannot be a word value");
                    return;
                }
                for (char c : text) {
                    emit(s, static_cast<std::uint8_t>(c));
                }
                continue;
            }
            if (item.empty()) {
                diagnostics_.error(s.where, "empty value");
                emit(s, 0);
                continue;
            }
            const Evaluation e = eval(item, here);
            std::int64_t v = e.value.value;
            if (!e.ok) {
                diagnostics_.error(s.where, e.error);
                v = 0;
            } else if (e.value.known) {
                const std::int64_t low = width == 1 ? -128 : -32768;
                const std::int64_t high = width == 1 ? 255 : 65535;
                if (v < low || v > high) {
                    diagnostics_.error(s.where, "value " + std::to_string(v) + " does not fit " +
                                                    (width == 1 ? "a byte" : "a word") + " (" + std::to_string(low) +
                                                    ".." + std::to_string(high) + ")");
                }
            }
            const auto u = static_cast<std::uint32_t>(v);
            if (width == 1) {
                emit(s, static_cast<std::uint8_t>(u & 0xFF));
            } else if (msFirst_) {
                emit(s, static_cast<std::uint8_t>((u >> 8) & 0xFF));
                emit(s, static_cast<std::uint8_t>(u & 0xFF));
            } else {
                emit(s, static_cast<std::uint8_t>(u & 0xFF));
                emit(s, static_cast<std::uint8_t>((u >> 8) & 0xFF));
            }
        }
    }

    std::optional<std::int32_t> count(const Statement& s, std::string_view text, std::int32_t here)
    {
        const Evaluation e = eval(text, here);
        if (!e.ok) {
            diagnostics_.error(s.where, e.error);
            return std::nullopt;
        }
        if (e.value.known && (e.value.value < 0 || e.value.value > 65536)) {
            diagnostics_.error(s.where, "count " + std::to_string(e.value.value) + " out of range 0..65536");
            return std::nullopt;
        }
        return e.value.value;
    }

    void directive(const Statement& s, std::int32_t here)
    {
        const std::string& op = s.operation;
        if (op == ".ORG") {
            const Evaluation e = eval(s.operands, here);
            if (!e.ok) {
                diagnostics_.error(s.where, e.error);
            } else if (e.value.known && (e.value.value < 0 || e.value.value > 0xFFFF)) {
                diagnostics_.error(s.where, ".org address out of range 0..FFFFh");
            } else {
                pc_ = e.value.value & 0xFFFF;
            }
        } else if (op == ".DB" || op == ".BYTE" || op == ".TEXT") {
            dataItems(s, here, 1);
        } else if (op == ".DW" || op == ".WORD") {
            dataItems(s, here, 2);
        } else if (op == ".BLOCK") {
            if (const auto n = count(s, s.operands, here)) {
                pc_ += *n;
            }
        } else if (op == ".FILL") {
            const std::vector<std::string> args = InstructionSet::splitOperands(s.operands);
            if (args.empty() || args.size() > 2) {
                diagnostics_.error(s.where, ".fill takes a count and an optional value");
                return;
            }
            std::uint8_t fill = 0xFF;
            if (args.size() == 2) {
                const Evaluation v = eval(args[1], here);
                if (!v.ok) {
                    diagnostics_.error(s.where, v.error);
                } else if (v.value.known && (v.value.value < -128 || v.value.value > 255)) {
                    diagnostics_.error(s.where, ".fill value does not fit a byte");
                }
                fill = static_cast<std::uint8_t>(v.value.value & 0xFF);
            }
            if (const auto n = count(s, args[0], here)) {
                for (std::int32_t i = 0; i < *n; ++i) {
                    emit(s, fill);
                }
            }
        } else if (op == ".ECHO") {
            std::string text;
            for (const std::string& item : InstructionSet::splitOperands(s.operands)) {
                if (!item.empty() && item[0] == '"') {
                    std::string decoded;
                    const std::size_t n = quotedLength(item, 0);
                    if (n < 2 || n != item.size() || item.back() != '"' ||
                        !decodeEscapes(std::string_view(item).substr(1, n - 2), decoded)) {
                        diagnostics_.error(s.where, "bad string in .echo");
                        return;
                    }
                    text += decoded;
                } else {
                    const Evaluation e = eval(item, here);
                    if (!e.ok) {
                        diagnostics_.error(s.where, e.error);
                        return;
                    }
                    text += std::to_string(e.value.value);
                }
            }
            if (final_) {
                result_.echoes.push_back(text);
            }
        } else if (op == ".LIST") {
            listing_ = true;
        } else if (op == ".NOLIST") {
            listing_ = false;
        } else if (op == ".MODULE") {
            const std::string_view name = trim(s.operands);
            if (name.empty()) {
                diagnostics_.error(s.where, ".module without a name");
            }
            module_ = options_.foldCase ? upper(name) : std::string(name);
        } else if (op == ".END") {
            ended_ = true;
        } else if (op == ".MSFIRST") {
            msFirst_ = true;
        } else if (op == ".LSFIRST") {
            msFirst_ = false;
        } else if (op == ".ADDINSTR") {
            std::string error;
            if (number_ == 1 && !instructions_.addInstruction(s.operands, error)) {
                diagnostics_.error(s.where, error);
            }
        } else if (op == ".CHK") {
            const Evaluation e = eval(s.operands, here);
            if (!e.ok) {
                diagnostics_.error(s.where, e.error);
                emit(s, 0);
                return;
            }
            unsigned sum = 0;
            if (e.value.known) {
                for (std::int32_t a = std::max(0, e.value.value); a < here && a <= 0xFFFF; ++a) {
                    sum += result_.image.bytes[static_cast<std::size_t>(a)];
                }
            }
            emit(s, static_cast<std::uint8_t>(sum & 0xFF));
        } else if (op == ".TITLE" || op == ".EJECT" || op == ".PAGE" || op == ".CODES" || op == ".NOCODES" ||
                   op == ".EXPORT" || op == ".SYM" || op == ".AVSYM" || op == ".LOCALLABELCHAR") {
            // Listing and symbol-file controls: nothing to do for the image.
        } else {
            diagnostics_.error(s.where, "unknown directive '" + op + "'");
        }
    }

    int number_;
    bool final_;
    std::map<std::string, Symbol>& symbols_;
    InstructionSet& instructions_;
    const Options& options_;
    Result& result_;
    Diagnostics diagnostics_;
    std::int32_t pc_ = 0;
    std::string module_ = "noname";
    bool listing_ = true;
    bool msFirst_ = false;
    bool ended_ = false;
    bool changed_ = false;
    bool overflowReported_ = false;
};

}  // namespace

Result assemble(const std::string& sourcePath, const Options& options)
{
    Result result;
    Diagnostics early;
    Preprocessor preprocessor(early, options.foldCase, options.reader);
    for (const auto& [name, value] : options.defines) {
        preprocessor.define(name, value);
    }
    const std::vector<SourceLine> lines = preprocessor.run(sourcePath);

    InstructionSet instructions;
    std::vector<Statement> statements;
    for (const SourceLine& line : lines) {
        for (Statement& s : parseLine(line, early)) {
            statements.push_back(std::move(s));
        }
    }

    std::map<std::string, Symbol> symbols;
    bool settled = false;
    int number = 1;
    for (; number <= MaxPasses; ++number) {
        Pass pass(number, false, symbols, instructions, options, result);
        pass.run(statements);
        if (number > 1 && !pass.changed()) {
            settled = true;
            break;
        }
    }
    result.passes = number + 1;
    Pass last(number + 1, true, symbols, instructions, options, result);
    last.run(statements);

    for (const Diagnostic& d : early.all()) {
        if (d.severity == Diagnostic::Severity::Error) {
            result.diagnostics.error(d.where, d.text);
        } else {
            result.diagnostics.warning(d.where, d.text);
        }
    }
    for (const Diagnostic& d : last.diagnostics().all()) {
        if (d.severity == Diagnostic::Severity::Error) {
            result.diagnostics.error(d.where, d.text);
        } else {
            result.diagnostics.warning(d.where, d.text);
        }
    }
    if (!settled && result.diagnostics.errorCount() == 0) {
        result.diagnostics.error(Location{sourcePath, 0},
                                 "label values did not settle after " + std::to_string(MaxPasses) + " passes");
    }
    result.ok = result.diagnostics.errorCount() == 0;
    return result;
}

}  // namespace tasm
