#include "Expression.h"

#include "Text.h"

namespace tasm {

namespace {

bool digitIn(char c, int base)
{
    int v;
    if (c >= '0' && c <= '9') {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    } else {
        return false;
    }
    return v < base;
}

std::optional<std::int64_t> digits(std::string_view text, int base)
{
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (!digitIn(c, base)) {
            return std::nullopt;
        }
        const int v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = (value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(v)) & 0xFFFFFFFFull;
    }
    return static_cast<std::int64_t>(value);
}

class Parser {
public:
    Parser(std::string_view text, std::int32_t here, const SymbolLookup& lookup, bool undefinedIsError)
        : text_(text), here_(here), lookup_(lookup), undefinedIsError_(undefinedIsError)
    {
    }

    Evaluation run()
    {
        Value v = expression(0);
        skipBlanks();
        if (ok_ && pos_ < text_.size()) {
            fail("unexpected '" + std::string(text_.substr(pos_, 1)) + "' in expression");
        }
        Evaluation result;
        result.ok = ok_;
        result.value = v;
        result.error = error_;
        return result;
    }

private:
    static constexpr int MaxDepth = 200;

    void fail(std::string why)
    {
        if (ok_) {
            ok_ = false;
            error_ = std::move(why);
        }
    }

    void skipBlanks()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_])) {
            ++pos_;
        }
    }

    enum class Operator { None, Add, Sub, Mul, Div, Mod, Shl, Shr, And, Or, Xor, Eq, Ne, Lt, Gt, Le, Ge };

    // The binary operator at the current position and its length; None
    // when there is none.
    Operator binaryOperator(std::size_t& length) const
    {
        const char c = text_[pos_];
        const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
        length = 1;
        switch (c) {
        case '+': return Operator::Add;
        case '-': return Operator::Sub;
        case '*': return Operator::Mul;
        case '/': return Operator::Div;
        case '%': return Operator::Mod;
        case '&': return Operator::And;
        case '|': return Operator::Or;
        case '^': return Operator::Xor;
        case '=':
            length = next == '=' ? 2 : 1;
            return Operator::Eq;
        case '!':
            if (next == '=') {
                length = 2;
                return Operator::Ne;
            }
            return Operator::None;
        case '<':
            if (next == '<' || next == '=') {
                length = 2;
                return next == '<' ? Operator::Shl : Operator::Le;
            }
            return Operator::Lt;
        case '>':
            if (next == '>' || next == '=') {
                length = 2;
                return next == '>' ? Operator::Shr : Operator::Ge;
            }
            return Operator::Gt;
        default: return Operator::None;
        }
    }

    Value expression(int depth)
    {
        if (depth > MaxDepth) {
            fail("expression nested too deeply");
            return {};
        }
        Value acc = term(depth);
        for (;;) {
            skipBlanks();
            if (!ok_ || pos_ >= text_.size() || text_[pos_] == ')') {
                return acc;
            }
            std::size_t length = 0;
            const Operator op = binaryOperator(length);
            if (op == Operator::None) {
                return acc;
            }
            pos_ += length;
            const Value rhs = term(depth);
            acc = apply(acc, op, rhs);
        }
    }

    Value apply(Value a, Operator op, Value b)
    {
        const std::int64_t x = a.value;
        const std::int64_t y = b.value;
        std::int64_t r = 0;
        const bool known = a.known && b.known;
        switch (op) {
        case Operator::Add: r = x + y; break;
        case Operator::Sub: r = x - y; break;
        case Operator::Mul: r = x * y; break;
        case Operator::Div:
        case Operator::Mod:
            if (y == 0) {
                if (known) {
                    fail("division by zero");
                }
                r = 0;
            } else if (x == INT32_MIN && y == -1) {
                r = op == Operator::Div ? x : 0;
            } else {
                r = op == Operator::Div ? x / y : x % y;
            }
            break;
        case Operator::Shl: r = (y < 0 || y > 31) ? 0 : static_cast<std::int64_t>(static_cast<std::uint32_t>(x) << y); break;
        case Operator::Shr: r = (y < 0 || y > 31) ? (x < 0 ? -1 : 0) : (x >> y); break;
        case Operator::And: r = x & y; break;
        case Operator::Or: r = x | y; break;
        case Operator::Xor: r = x ^ y; break;
        case Operator::Eq: r = x == y; break;
        case Operator::Ne: r = x != y; break;
        case Operator::Lt: r = x < y; break;
        case Operator::Gt: r = x > y; break;
        case Operator::Le: r = x <= y; break;
        case Operator::Ge: r = x >= y; break;
        case Operator::None: break;
        }
        return {static_cast<std::int32_t>(static_cast<std::uint32_t>(r & 0xFFFFFFFF)), known};
    }

    Value term(int depth)
    {
        // Unary operators nest through here without passing expression().
        if (depth > MaxDepth) {
            fail("expression nested too deeply");
            return {};
        }
        skipBlanks();
        if (pos_ >= text_.size()) {
            fail("missing value in expression");
            return {};
        }
        const char c = text_[pos_];
        if (c == '-' || c == '~' || c == '!' || c == '+') {
            ++pos_;
            Value v = term(depth + 1);
            if (c == '-') v.value = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(v.value));
            else if (c == '~') v.value = ~v.value;
            else if (c == '!') v.value = v.value == 0;
            return v;
        }
        if (c == '(') {
            ++pos_;
            Value v = expression(depth + 1);
            skipBlanks();
            if (pos_ < text_.size() && text_[pos_] == ')') {
                ++pos_;
            } else {
                fail("missing ')' in expression");
            }
            return v;
        }
        if (c == '\'') {
            const std::size_t n = quotedLength(text_, pos_);
            std::string decoded;
            if (n == 3) {
                // No escapes in TASM's character constants: '\' is a backslash.
                decoded = text_.substr(pos_ + 1, 1);
            } else if (n == 0 || !decodeEscapes(text_.substr(pos_ + 1, n - 2), decoded) || decoded.size() != 1) {
                fail("bad character constant");
                return {};
            }
            pos_ += n;
            return {static_cast<unsigned char>(decoded[0]), true};
        }
        if (c == '$' || c == '%' || c == '@') {
            const int base = c == '$' ? 16 : c == '%' ? 2 : 8;
            std::size_t end = pos_ + 1;
            while (end < text_.size() && isIdentChar(text_[end]) && text_[end] != '.') {
                ++end;
            }
            if (end == pos_ + 1) {
                if (c == '$') {
                    ++pos_;
                    return {here_, true};
                }
                fail(std::string("'") + c + "' without digits");
                return {};
            }
            const std::optional<std::int64_t> v = digits(text_.substr(pos_ + 1, end - pos_ - 1), base);
            if (!v) {
                fail("bad number '" + std::string(text_.substr(pos_, end - pos_)) + "'");
                return {};
            }
            pos_ = end;
            return {static_cast<std::int32_t>(*v), true};
        }
        if (c == '*') {
            ++pos_;
            return {here_, true};
        }
        if (c >= '0' && c <= '9') {
            std::size_t end = numberEnd(pos_);
            if (const std::optional<std::int64_t> grouped = blankGrouped(end)) {
                pos_ = end;
                return {static_cast<std::int32_t>(*grouped), true};
            }
            const std::string_view word = text_.substr(pos_, end - pos_);
            const std::optional<std::int64_t> v = parseNumber(word);
            if (!v) {
                fail("bad number '" + std::string(word) + "'");
                return {};
            }
            pos_ = end;
            return {static_cast<std::int32_t>(*v), true};
        }
        if (isIdentStart(c)) {
            std::size_t end = pos_;
            while (end < text_.size() && isIdentChar(text_[end])) {
                ++end;
            }
            const std::string_view name = text_.substr(pos_, end - pos_);
            pos_ = end;
            if (const std::optional<Value> v = lookup_ ? lookup_(name) : std::nullopt) {
                return *v;
            }
            if (undefinedIsError_) {
                fail("undefined label '" + std::string(name) + "'");
            }
            return {0, false};
        }
        fail("unexpected '" + std::string(1, c) + "' in expression");
        return {};
    }

    std::size_t numberEnd(std::size_t from) const
    {
        while (from < text_.size() && isIdentChar(text_[from]) && text_[from] != '.') {
            ++from;
        }
        return from;
    }

    // Digit groups separated by blanks, the last one ending in a radix
    // letter, are one constant in TASM ("0000 1111b" is 0Fh): it drops the
    // blanks. Only such runs are joined, so no expression that was valid
    // changes (a number followed by a number is an error otherwise). On
    // success end moves past the last group.
    std::optional<std::int64_t> blankGrouped(std::size_t& end) const
    {
        std::string joined(text_.substr(pos_, end - pos_));
        std::size_t at = end;
        int groups = 1;
        for (;;) {
            std::size_t next = at;
            while (next < text_.size() && isBlank(text_[next])) {
                ++next;
            }
            if (next == at || next >= text_.size() || text_[next] < '0' || text_[next] > '9') {
                break;
            }
            const std::size_t groupEnd = numberEnd(next);
            joined.append(text_.substr(next, groupEnd - next));
            at = groupEnd;
            ++groups;
        }
        if (groups == 1) {
            return std::nullopt;
        }
        const char last = static_cast<char>(joined.back() | 0x20);
        if (last != 'b' && last != 'h' && last != 'o' && last != 'q' && last != 'd') {
            return std::nullopt;
        }
        const std::optional<std::int64_t> v = parseNumber(joined);
        if (v) {
            end = at;
        }
        return v;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::int32_t here_;
    const SymbolLookup& lookup_;
    bool undefinedIsError_;
    bool ok_ = true;
    std::string error_;
};

}  // namespace

std::optional<std::int64_t> parseNumber(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    if (text[0] == '$') return digits(text.substr(1), 16);
    if (text[0] == '%') return digits(text.substr(1), 2);
    if (text[0] == '@') return digits(text.substr(1), 8);
    if (text[0] < '0' || text[0] > '9') {
        return std::nullopt;
    }
    const char last = static_cast<char>(text.back() | 0x20);
    const std::string_view body = text.substr(0, text.size() - 1);
    if (last == 'h') return digits(body, 16);
    if (last == 'b' && digits(body, 2)) return digits(body, 2);
    if (last == 'o' || last == 'q') return digits(body, 8);
    if (last == 'd' && digits(body, 10)) return digits(body, 10);
    return digits(text, 10);
}

bool decodeEscapes(std::string_view body, std::string& out)
{
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= body.size()) {
            return false;
        }
        const char e = body[i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case '"': out += '"'; break;
        case '\'': out += '\''; break;
        case '\\': out += '\\'; break;
        default:
            if (e >= '0' && e <= '7') {
                int v = 0;
                std::size_t n = 0;
                while (n < 3 && i < body.size() && body[i] >= '0' && body[i] <= '7') {
                    v = v * 8 + (body[i] - '0');
                    ++i;
                    ++n;
                }
                --i;
                out += static_cast<char>(v & 0xFF);
            } else {
                return false;
            }
        }
    }
    return true;
}

}  // namespace tasm

namespace tasm {

Evaluation evaluate(std::string_view text, std::int32_t here, const SymbolLookup& lookup, bool undefinedIsError)
{
    if (trim(text).empty()) {
        Evaluation e;
        e.ok = false;
        e.error = "missing value";
        return e;
    }
    return Parser(text, here, lookup, undefinedIsError).run();
}

}  // namespace tasm
