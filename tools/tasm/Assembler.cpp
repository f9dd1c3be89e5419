#include "Assembler.h"

#include "Expression.h"
#include "InstructionSet.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <optional>
#include <set>

namespace tasm {

namespace {

constexpr int MaxPasses = 12;

// One statement of a line: an optional label, an operation and its operands.
// Label and operands are views of the source line's text.
// What a statement does is decided once, when it is read: the passes
// dispatch on it instead of comparing names.
struct Statement {
    const SourceLine* source = nullptr;
    const Location& where() const { return source->where; }
    bool instruction = false;
    Directive directive = Directive::None;  // None for an unknown one
    std::string_view label;
    std::string operation;  // upper case; a directive keeps its leading "."
    std::string_view operands;
    std::size_t line = 0;   // index of its source line, for the listing
    bool firstOfLine = true;
};

// Appends the statements of a line.
void parseLine(const SourceLine& line, std::size_t index, Diagnostics& diagnostics, std::vector<Statement>& statements,
               std::vector<std::string_view>& parts)
{
    const std::string_view code = stripComment(line.text);
    bool first = true;
    splitStatements(code, parts);
    for (std::string_view part : parts) {
        Statement s;
        s.source = &line;
        s.line = index;
        s.firstOfLine = first;
        std::string_view rest = part;
        // A label starts in the first column of the line; elsewhere a word
        // followed by a colon is one too.
        if (first && !rest.empty() && isIdentStart(rest[0])) {
            std::size_t end = 0;
            while (end < rest.size() && isIdentChar(rest[end])) {
                ++end;
            }
            const std::string_view word = rest.substr(0, end);
            const bool directive = word[0] == '.' && isDirectiveName(upper(word));
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
                s.label = rest.substr(0, end);
                rest = trim(rest.substr(end + 1));
            }
        }
        if (!rest.empty()) {
            // "*=expr" and "$=expr" are .org.
            std::size_t equals = 0;
            if (rest[0] == '*' || rest[0] == '$') {
                equals = 1;
                while (equals < rest.size() && isBlank(rest[equals])) {
                    ++equals;
                }
                if (equals >= rest.size() || rest[equals] != '=' ||
                    (equals + 1 < rest.size() && rest[equals + 1] == '=')) {
                    equals = 0;
                }
            }
            if (equals > 0) {
                s.operation = ".ORG";
                s.operands = trim(rest.substr(equals + 1));
            } else if (rest[0] == '=') {
                s.operation = ".EQU";
                s.operands = trim(rest.substr(1));
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
                s.operands = trim(rest.substr(end));
                if (word.empty()) {
                    diagnostics.error(line.where, "cannot read '" + std::string(rest) + "'");
                    first = false;
                    continue;
                }
            }
        }
        if (!s.operation.empty()) {
            s.instruction = s.operation[0] != '.';
            s.directive = s.instruction ? Directive::None : directiveNamed(s.operation);
        }
        if (!s.label.empty() || !s.operation.empty()) {
            statements.push_back(std::move(s));
        }
        first = false;
    }
}

struct Symbol {
    std::int32_t value = 0;
    int pass = 0;        // the pass that last defined it
    bool known = false;  // its value was final when defined
    bool redefinable = false;
    const Location* where = nullptr;  // of its statement (statements stay put)
    // The values it was given in this pass and the one before, in order: a
    // name set more than once (.set) has settled when the whole sequence
    // repeats, not when its value stays put. A value not known in two
    // passes alike (it needs a name defined nowhere) has settled too.
    std::vector<Value> values;
    std::vector<Value> previousValues;
};

class Pass {
public:
    // Only the final pass writes the image and the listing: the passes
    // before it settle the labels, for which the sizes suffice.
    Pass(int number, bool final, std::unordered_map<std::string, Symbol>& symbols, InstructionSet& instructions,
         const Options& options, const std::vector<SourceLine>& lines, Result& result)
        : number_(number), final_(final), symbols_(symbols), instructions_(instructions), options_(options),
          lines_(lines), result_(result), diagnostics_(final)
    {
        if (final_) {
            result_.image = Image();
            result_.listing.clear();
            result_.echoes.clear();
        }
    }

    void run(const std::vector<Statement>& statements)
    {
        for (const Statement& s : statements) {
            if (diagnostics_.full()) {
                break;
            }
            if (s.firstOfLine) {
                flushListing();
                lineStarted_ = false;
                // .end ends its line too; the preprocessor has left out
                // the rest of the file.
                ended_ = false;
            }
            if (ended_) {
                continue;
            }
            statement(s);
        }
        flushListing();
    }

    bool changed() const { return changed_; }
    // Whether the first pass used a name before its definition (or added an
    // instruction): without that, its values are the final ones already.
    bool forwardReferences() const { return forward_; }
    Diagnostics& diagnostics() { return diagnostics_; }

private:
    // The symbol table's key for a name, in a buffer that is reused: every
    // name of every expression is looked up, every pass.
    const std::string& symbolKey(std::string_view name) const
    {
        std::string& key = keyBuffer_;
        key.clear();
        if (!name.empty() && name[0] == '_') {
            key.append(module_);
            key += '.';
        }
        const std::size_t start = key.size();
        key.append(name);
        if (options_.foldCase) {
            for (std::size_t i = start; i < key.size(); ++i) {
                if (key[i] >= 'a' && key[i] <= 'z') {
                    key[i] = static_cast<char>(key[i] - 'a' + 'A');
                }
            }
        }
        return key;
    }

    // A name defined further down has the value of the previous pass: a
    // forward reference. Passes repeat until no value moves, so by the final
    // pass every such value is the settled one.
    std::optional<Value> lookup(std::string_view name) const
    {
        const std::string& key = symbolKey(name);
        const auto it = symbols_.find(key);
        if (it == symbols_.end()) {
            if (number_ == 1) {
                missing_.insert(key);
            }
            return std::nullopt;
        }
        return Value{it->second.value, it->second.known};
    }

    Evaluation eval(std::string_view text, std::int32_t here)
    {
        return evaluate(trim(text), here, lookup_, final_);
    }

    void define(const Statement& s, std::string_view name, Value value, bool redefinable)
    {
        Symbol& sym = symbols_[symbolKey(name)];
        if (number_ == 1 && sym.pass == 0 && missing_.count(keyBuffer_) > 0) {
            forward_ = true;
        }
        if (sym.pass == number_ && !(redefinable && sym.redefinable)) {
            diagnostics_.error(s.where(), "label '" + std::string(name) + "' is defined twice (first at " +
                                              sym.where->file + ":" + std::to_string(sym.where->line) + ")");
            return;
        }
        if (sym.pass != number_) {
            std::swap(sym.previousValues, sym.values);
            sym.values.clear();
        }
        const std::size_t index = sym.values.size();
        // An unknown value's number means nothing (it stems from a name
        // defined nowhere); where it moves addresses, the labels show it.
        if (sym.pass == 0 || index >= sym.previousValues.size() || sym.previousValues[index].known != value.known ||
            (value.known && sym.previousValues[index].value != value.value)) {
            changed_ = true;
        }
        sym.values.push_back(value);
        sym.value = value.value;
        sym.known = value.known;
        sym.pass = number_;
        sym.redefinable = redefinable;
        sym.where = &s.where();
    }

    // count bytes of one value (.fill): before the final pass only the
    // address moves, and past FFFFh there is the one error.
    void emitRun(const Statement& s, std::uint8_t byte, std::int32_t count)
    {
        if (final_) {
            // Only the bytes inside the address space are written one by
            // one; the rest of a run past FFFFh is the error and a jump.
            const std::int32_t inside = pc_ < 0 || pc_ > 0xFFFF ? 0 : std::min(count, 0x10000 - pc_);
            for (std::int32_t i = 0; i < inside; ++i) {
                emit(s, byte);
            }
            if (count > inside) {
                emit(s, byte);
                advance(count - inside - 1);
            }
            return;
        }
        if (count > 0 && pc_ + count - 1 > 0xFFFF && !overflowReported_) {
            diagnostics_.error(s.where(), "the image runs past FFFFh");
            overflowReported_ = true;
        }
        advance(std::max(count, 0));
    }

    // Moves the address on. Far past FFFFh, where the error has been given,
    // it stops growing, so no number of statements can overflow it.
    void advance(std::int32_t n)
    {
        pc_ = static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{pc_} + n, 0x1000000));
    }

    void emit(const Statement& s, std::uint8_t byte)
    {
        if (pc_ > 0xFFFF || pc_ < 0) {
            if (!overflowReported_) {
                diagnostics_.error(s.where(), "the image runs past FFFFh");
                overflowReported_ = true;
            }
            ++pc_;
            return;
        }
        if (final_) {
            result_.image.write(pc_, byte);
            if (listingLine()) {
                lineBytes_.emplace_back(pc_, byte);
            }
        }
        ++pc_;
    }

    void statement(const Statement& s)
    {
        const std::int32_t here = pc_;
        if (!lineStarted_) {
            lineStarted_ = true;
            lineIndex_ = s.line;
            lineNumber_ = s.where().line;
            lineAddress_ = here;
        }

        if (s.directive == Directive::Equ || s.directive == Directive::Set) {
            if (s.label.empty()) {
                diagnostics_.error(s.where(), s.operation + " without a label");
                return;
            }
            const Evaluation e = eval(s.operands, here);
            if (!e.ok) {
                diagnostics_.error(s.where(), e.error);
            }
            define(s, s.label, e.ok ? e.value : Value{0, false}, s.directive == Directive::Set);
            return;
        }
        if (s.directive == Directive::Org) {
            // A label on an .org line names the new address.
            org(s, here);
            if (lineBytes_.empty() && s.firstOfLine) {
                lineAddress_ = pc_;
            }
            if (!s.label.empty()) {
                define(s, s.label, Value{pc_, true}, false);
            }
            return;
        }
        if (!s.label.empty()) {
            define(s, s.label, Value{here, true}, false);
        }
        if (s.operation.empty()) {
            return;
        }
        if (!s.instruction) {
            directive(s, here);
            return;
        }
        const Encoding enc =
            instructions_.encode(s.operation, s.operands, here, [&](std::string_view t) { return eval(t, here); });
        if (!enc.ok) {
            diagnostics_.error(s.where(), enc.error);
            // Keep the size plausible so later labels do not shift.
            for (std::size_t i = 0; i < std::max<std::size_t>(enc.bytes.size(), 1); ++i) {
                emit(s, 0);
            }
            return;
        }
        for (std::uint8_t b : enc.bytes) {
            emit(s, b);
        }
    }

    bool listingLine() const { return options_.listing && final_; }

    // One listing row per run of consecutive addresses, at most eight bytes
    // a row; the source text goes on the first.
    void flushListing()
    {
        if (!listingLine() || !lineStarted_) {
            lineBytes_.clear();
            return;
        }
        if (listing_) {
            // The line as written, as TASM lists it.
            const SourceLine& source = lines_[lineIndex_];
            const std::string& text = source.original.empty() ? source.text : source.original;
            auto row = [&](std::int32_t address, std::size_t from, std::size_t count, bool withText) {
                char head[16];
                std::snprintf(head, sizeof head, "%05d %04X ", lineNumber_, static_cast<unsigned>(address) & 0xFFFF);
                static constexpr char digits[] = "0123456789ABCDEF";
                std::string bytes;
                for (std::size_t i = from; i < from + count; ++i) {
                    bytes += digits[lineBytes_[i].second >> 4];
                    bytes += digits[lineBytes_[i].second & 0xF];
                    bytes += ' ';
                }
                result_.listing += head;
                if (withText) {
                    bytes.resize(25, ' ');
                    result_.listing += bytes + text;
                } else {
                    while (!bytes.empty() && bytes.back() == ' ') {
                        bytes.pop_back();
                    }
                    result_.listing += bytes;
                }
                result_.listing += '\n';
            };
            if (lineBytes_.empty()) {
                row(lineAddress_, 0, 0, true);
            }
            bool first = true;
            std::size_t start = 0;
            while (start < lineBytes_.size()) {
                std::size_t end = start + 1;
                while (end < lineBytes_.size() && end - start < 8 &&
                       lineBytes_[end].first == lineBytes_[end - 1].first + 1) {
                    ++end;
                }
                row(lineBytes_[start].first, start, end - start, first);
                first = false;
                start = end;
            }
        }
        lineBytes_.clear();
    }

    // The items of .db/.dw/.echo, split at commas outside strings.
    void dataItems(const Statement& s, std::int32_t here, int width)
    {
        if (trim(s.operands).empty()) {
            diagnostics_.error(s.where(), s.operation + " without values");
            return;
        }
        OperandCursor items(s.operands);
        for (std::string_view item; items.next(item);) {
            if (!item.empty() && item[0] == '"') {
                const std::size_t n = quotedLength(item, 0);
                std::string text;
                if (n < 2 || item[n - 1] != '"' || (n == item.size() && item.size() < 2)) {
                    diagnostics_.error(s.where(), "unterminated string");
                    return;
                }
                if (n != item.size()) {
                    diagnostics_.error(s.where(), "unexpected text after a string");
                    return;
                }
                if (!decodeEscapes(item.substr(1, n - 2), text)) {
                    diagnostics_.error(s.where(), "bad escape in string");
                    return;
                }
                if (width != 1) {
                    diagnostics_.error(s.where(), "a string cannot be a word value");
                    return;
                }
                for (char c : text) {
                    emit(s, static_cast<std::uint8_t>(c));
                }
                continue;
            }
            if (item.empty()) {
                diagnostics_.error(s.where(), "empty value");
                emit(s, 0);
                continue;
            }
            const Evaluation e = eval(item, here);
            std::int64_t v = e.value.value;
            if (!e.ok) {
                diagnostics_.error(s.where(), e.error);
                v = 0;
            } else if (e.value.known) {
                const std::int64_t low = width == 1 ? -128 : -32768;
                const std::int64_t high = width == 1 ? 255 : 65535;
                if (v < low || v > high) {
                    diagnostics_.error(s.where(), "value " + std::to_string(v) + " does not fit " +
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
            diagnostics_.error(s.where(), e.error);
            return std::nullopt;
        }
        if (e.value.known && (e.value.value < 0 || e.value.value > 65536)) {
            diagnostics_.error(s.where(), "count " + std::to_string(e.value.value) + " out of range 0..65536");
            return std::nullopt;
        }
        return e.value.value;
    }

    void org(const Statement& s, std::int32_t here)
    {
        const Evaluation e = eval(s.operands, here);
        if (!e.ok) {
            diagnostics_.error(s.where(), e.error);
        } else if (e.value.known && (e.value.value < 0 || e.value.value > 0xFFFF)) {
            diagnostics_.error(s.where(), ".org address out of range 0..FFFFh");
        } else {
            pc_ = e.value.value & 0xFFFF;
        }
    }

    void fill(const Statement& s, std::int32_t here)
    {
        std::string_view args[2];
        std::size_t n = 0;
        OperandCursor items(s.operands);
        for (std::string_view item; items.next(item); ++n) {
            if (n < 2) {
                args[n] = item;
            }
        }
        if (n == 0 || n > 2) {
            diagnostics_.error(s.where(), ".fill takes a count and an optional value");
            return;
        }
        std::uint8_t value = 0xFF;
        if (n == 2) {
            const Evaluation v = eval(args[1], here);
            if (!v.ok) {
                diagnostics_.error(s.where(), v.error);
            } else if (v.value.known && (v.value.value < -128 || v.value.value > 255)) {
                diagnostics_.error(s.where(), ".fill value does not fit a byte");
            }
            value = static_cast<std::uint8_t>(v.value.value & 0xFF);
        }
        if (const auto times = count(s, args[0], here)) {
            emitRun(s, value, *times);
        }
    }

    void echo(const Statement& s, std::int32_t here)
    {
        std::string text;
        OperandCursor items(s.operands);
        for (std::string_view item; items.next(item);) {
            if (!item.empty() && item[0] == '"') {
                std::string decoded;
                const std::size_t n = quotedLength(item, 0);
                if (n < 2 || n != item.size() || item.back() != '"' || !decodeEscapes(item.substr(1, n - 2), decoded)) {
                    diagnostics_.error(s.where(), "bad string in .echo");
                    return;
                }
                text += decoded;
            } else {
                const Evaluation e = eval(item, here);
                if (!e.ok) {
                    diagnostics_.error(s.where(), e.error);
                    return;
                }
                text += std::to_string(e.value.value);
            }
        }
        if (final_) {
            result_.echoes.push_back(text);
        }
    }

    void checksum(const Statement& s, std::int32_t here)
    {
        const Evaluation e = eval(s.operands, here);
        if (!e.ok) {
            diagnostics_.error(s.where(), e.error);
            emit(s, 0);
            return;
        }
        unsigned sum = 0;
        if (e.value.known && final_) {
            for (std::int32_t a = std::max(0, e.value.value); a < here && a <= 0xFFFF; ++a) {
                sum += result_.image.at(a);
            }
        }
        emit(s, static_cast<std::uint8_t>(sum & 0xFF));
    }

    void directive(const Statement& s, std::int32_t here)
    {
        using D = Directive;
        switch (s.directive) {
        case D::Byte:
            dataItems(s, here, 1);
            break;
        case D::Word:
            dataItems(s, here, 2);
            break;
        case D::Block:
            if (const auto n = count(s, s.operands, here)) {
                advance(*n);
            }
            break;
        case D::Fill:
            fill(s, here);
            break;
        case D::Echo:
            echo(s, here);
            break;
        case D::List:
            listing_ = true;
            break;
        case D::NoList:
            listing_ = false;
            break;
        case D::Module: {
            const std::string_view name = trim(s.operands);
            if (name.empty()) {
                diagnostics_.error(s.where(), ".module without a name");
            }
            module_ = options_.foldCase ? upper(name) : std::string(name);
            break;
        }
        case D::End:
            ended_ = true;
            break;
        case D::MsFirst:
            msFirst_ = true;
            break;
        case D::LsFirst:
            msFirst_ = false;
            break;
        case D::AddInstr: {
            std::string error;
            if (number_ == 1 && !instructions_.addInstruction(s.operands, error)) {
                diagnostics_.error(s.where(), error);
            }
            // Statements before it may encode differently from now on.
            forward_ = true;
            break;
        }
        case D::Chk:
            checksum(s, here);
            break;
        case D::Ignored:
            // Listing and symbol-file controls: nothing to do for the image.
            break;
        case D::None:
        case D::Org:
        case D::Equ:
        case D::Set:
            diagnostics_.error(s.where(), "unknown directive '" + s.operation + "'");
            break;
        }
    }

    int number_;
    bool final_;
    std::unordered_map<std::string, Symbol>& symbols_;
    InstructionSet& instructions_;
    const Options& options_;
    const std::vector<SourceLine>& lines_;
    Result& result_;
    const SymbolLookup lookup_ = [this](std::string_view n) { return lookup(n); };
    Diagnostics diagnostics_;
    mutable std::string keyBuffer_;
    mutable std::unordered_set<std::string> missing_;  // names the first pass looked up before they were defined
    bool forward_ = false;
    std::int32_t pc_ = 0;
    std::string module_ = "noname";
    bool listing_ = true;
    bool msFirst_ = false;
    bool ended_ = false;
    bool changed_ = false;
    bool overflowReported_ = false;
    // The listing line being collected.
    bool lineStarted_ = false;
    std::size_t lineIndex_ = 0;
    int lineNumber_ = 0;
    std::int32_t lineAddress_ = 0;
    std::vector<std::pair<std::int32_t, std::uint8_t>> lineBytes_;
};

}  // namespace

void Image::write(int address, std::uint8_t byte)
{
    if (storage_.empty()) {
        origin_ = address;
    } else if (address < origin_) {
        // Room below as well, so that writing downwards stays linear.
        const int origin = std::max(0, std::min(address, origin_ - static_cast<int>(storage_.size())));
        const auto more = static_cast<std::size_t>(origin_ - origin);
        storage_.insert(storage_.begin(), more, 0);
        written_.insert(written_.begin(), more, 0);
        origin_ = origin;
    }
    const auto at = static_cast<std::size_t>(address - origin_);
    if (at >= storage_.size()) {
        storage_.resize(at + 1, 0);
        written_.resize(at + 1, 0);
    }
    storage_[at] = byte;
    written_[at] = 1;
    lowest = lowest < 0 ? address : std::min(lowest, address);
    highest = std::max(highest, address);
}

bool Image::isWritten(int address) const
{
    const long at = static_cast<long>(address) - origin_;
    return at >= 0 && at < static_cast<long>(written_.size()) && written_[static_cast<std::size_t>(at)] != 0;
}

std::uint8_t Image::at(int address) const
{
    const long at = static_cast<long>(address) - origin_;
    return at >= 0 && at < static_cast<long>(storage_.size()) ? storage_[static_cast<std::size_t>(at)] : 0;
}

std::vector<std::uint8_t> Image::bytes() const
{
    if (lowest < 0) {
        return {};
    }
    const auto begin = storage_.begin() + (lowest - origin_);
    return {begin, begin + (highest - lowest + 1)};
}

Result assemble(const std::string& sourcePath, const Options& options)
{
    Result result;
    Diagnostics early;
    Preprocessor preprocessor(early, options.foldCase, options.reader);
    for (const auto& [name, value] : options.defines) {
        preprocessor.define(name, value);
    }
    const std::vector<SourceLine> lines = preprocessor.run(sourcePath);

    InstructionSet instructions(options.extended);
    std::vector<Statement> statements;
    statements.reserve(lines.size());
    std::vector<std::string_view> parts;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        parseLine(lines[i], i, early, statements, parts);
    }

    std::unordered_map<std::string, Symbol> symbols;
    bool settled = false;
    int number = 1;
    for (; number <= MaxPasses; ++number) {
        Pass pass(number, false, symbols, instructions, options, lines, result);
        pass.run(statements);
        if ((number == 1 && !pass.forwardReferences()) || (number > 1 && !pass.changed())) {
            settled = true;
            break;
        }
    }
    result.passes = number + 1;
    Pass last(number + 1, true, symbols, instructions, options, lines, result);
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
    // A value still unknown in the final pass, with no name undefined
    // (that would have been reported), is defined through itself.
    if (result.diagnostics.errorCount() == 0) {
        const std::pair<const std::string, Symbol>* first = nullptr;  // in source order
        for (const auto& entry : symbols) {
            const Symbol& symbol = entry.second;
            const bool unknown = std::any_of(symbol.values.begin(), symbol.values.end(),
                                             [](const Value& v) { return !v.known; });
            if (unknown && symbol.where && (!first || std::less<>()(symbol.where, first->second.where))) {
                first = &entry;
            }
        }
        if (first) {
            const Location& where = *first->second.where;
            result.diagnostics.error(Location{sourcePath, 0}, "label values did not settle: '" + first->first +
                                                                  "' is defined through itself (" + where.file + ":" +
                                                                  std::to_string(where.line) + ")");
        }
    }
    result.ok = result.diagnostics.errorCount() == 0;
    return result;
}

}  // namespace tasm
