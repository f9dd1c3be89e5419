#include "InstructionSet.h"

#include "Text.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>

namespace tasm {

namespace {

// ---------------------------------------------------------------------------
// Operands

enum class Kind {
    Reg8,      // A B C D E H L, and the index halves IXH IXL IYH IYL
    Reg16,     // BC DE HL SP, and IX IY (code 2 with a prefix)
    AF,
    AFAlt,     // AF'
    I,
    R,
    F,         // only in IN F,(C)
    IndBC,
    IndDE,
    IndHL,     // (HL)
    IndSP,
    IndC,      // (C)
    IndIndex,  // (IX+d), (IY+d), (IX), (IY)
    Cond,      // NZ Z NC PO PE P M (C is a Reg8 that doubles as a condition)
    Memory,    // (expression)
    Immediate, // expression
};

struct Operand {
    Kind kind = Kind::Immediate;
    int code = 0;               // register, pair or condition code
    std::uint8_t prefix = 0;    // DDh or FDh for the index registers
    bool half = false;          // IXH IXL IYH IYL
    bool bareIndex = false;     // (IX) written without a displacement
    std::string_view expression;  // Memory, Immediate, IndIndex displacement (a view of the operand text)
};

// The closing parenthesis that matches the one at text[0], or npos.
std::size_t matchingParen(std::string_view text)
{
    int level = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            const std::size_t n = quotedLength(text, i);
            if (n > 0) {
                i += n - 1;
                continue;
            }
        }
        if (c == '(') {
            ++level;
        } else if (c == ')' && --level == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The text in upper case when it is short enough to name a register (three
// characters at most), else empty.
std::string_view shortUpper(std::string_view text, char (&buffer)[4])
{
    if (text.size() > 3) {
        return {};
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        buffer[i] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return {buffer, text.size()};
}

struct RegisterName {
    std::string_view name;
    Kind kind;
    int code;
    std::uint8_t prefix;
    bool half;
};

// clang-format off
constexpr RegisterName registerNames[] = {
    {"B", Kind::Reg8, 0, 0, false}, {"C", Kind::Reg8, 1, 0, false}, {"D", Kind::Reg8, 2, 0, false},
    {"E", Kind::Reg8, 3, 0, false}, {"H", Kind::Reg8, 4, 0, false}, {"L", Kind::Reg8, 5, 0, false},
    {"A", Kind::Reg8, 7, 0, false},
    {"IXH", Kind::Reg8, 4, 0xDD, true}, {"IXL", Kind::Reg8, 5, 0xDD, true},
    {"IYH", Kind::Reg8, 4, 0xFD, true}, {"IYL", Kind::Reg8, 5, 0xFD, true},
    {"HX", Kind::Reg8, 4, 0xDD, true}, {"LX", Kind::Reg8, 5, 0xDD, true},
    {"HY", Kind::Reg8, 4, 0xFD, true}, {"LY", Kind::Reg8, 5, 0xFD, true},
    {"XH", Kind::Reg8, 4, 0xDD, true}, {"XL", Kind::Reg8, 5, 0xDD, true},
    {"YH", Kind::Reg8, 4, 0xFD, true}, {"YL", Kind::Reg8, 5, 0xFD, true},
    {"BC", Kind::Reg16, 0, 0, false}, {"DE", Kind::Reg16, 1, 0, false}, {"HL", Kind::Reg16, 2, 0, false},
    {"SP", Kind::Reg16, 3, 0, false}, {"IX", Kind::Reg16, 2, 0xDD, false}, {"IY", Kind::Reg16, 2, 0xFD, false},
    {"AF", Kind::AF, 3, 0, false}, {"AF'", Kind::AFAlt, 0, 0, false},
    {"I", Kind::I, 0, 0, false}, {"R", Kind::R, 0, 0, false}, {"F", Kind::F, 0, 0, false},
    {"NZ", Kind::Cond, 0, 0, false}, {"Z", Kind::Cond, 1, 0, false}, {"NC", Kind::Cond, 2, 0, false},
    {"PO", Kind::Cond, 4, 0, false}, {"PE", Kind::Cond, 5, 0, false}, {"P", Kind::Cond, 6, 0, false},
    {"M", Kind::Cond, 7, 0, false},
};
// clang-format on

Operand classify(std::string_view raw)
{
    const std::string_view text = trim(raw);
    Operand op;
    char buffer[4];
    if (const std::string_view u = shortUpper(text, buffer); !u.empty()) {
        for (const RegisterName& r : registerNames) {
            if (u == r.name) {
                op.kind = r.kind;
                op.code = r.code;
                op.prefix = r.prefix;
                op.half = r.half;
                return op;
            }
        }
    }

    if (!text.empty() && text.front() == '(' && matchingParen(text) == text.size() - 1) {
        const std::string_view inner = trim(text.substr(1, text.size() - 2));
        const std::string_view ui = shortUpper(inner, buffer);
        if (ui == "BC") { op.kind = Kind::IndBC; return op; }
        if (ui == "DE") { op.kind = Kind::IndDE; return op; }
        if (ui == "HL") { op.kind = Kind::IndHL; op.code = 6; return op; }
        if (ui == "SP") { op.kind = Kind::IndSP; return op; }
        if (ui == "C") { op.kind = Kind::IndC; return op; }
        const char i0 = inner.size() >= 2 ? static_cast<char>(inner[0] & ~0x20) : 0;
        const char i1 = inner.size() >= 2 ? static_cast<char>(inner[1] & ~0x20) : 0;
        if (i0 == 'I' && (i1 == 'X' || i1 == 'Y')) {
            const std::string_view after = trim(inner.substr(2));
            if (after.empty() || after.front() == '+' || after.front() == '-') {
                op.kind = Kind::IndIndex;
                op.code = 6;
                op.prefix = i1 == 'X' ? 0xDD : 0xFD;
                op.bareIndex = after.empty();
                op.expression = after.empty() ? std::string_view("0") : after;
                return op;
            }
        }
        op.kind = Kind::Memory;
        op.expression = inner;
        return op;
    }
    op.kind = Kind::Immediate;
    op.expression = text;
    return op;
}

// ---------------------------------------------------------------------------
// Patterns and the table

enum class Pat {
    None,
    R8,      // register, index half, (HL), (IX+d)
    R8CB,    // register, (HL), (IX+d): no index halves
    R8Reg,   // plain register
    A,
    RR,      // BC DE HL SP (HL may be IX/IY)
    QQ,      // BC DE HL AF (HL may be IX/IY)
    HLX,     // HL IX IY
    HLOnly,
    DE,
    SP,
    AF,
    AFAlt,
    I,
    R,
    F,
    IndBC,
    IndDE,
    IndSP,
    IndC,
    IndHLX,  // (HL) (IX) (IY)
    N,       // 8-bit value
    NN,      // 16-bit value
    Mem,     // (16-bit address)
    Port,    // (8-bit port)
    Rel,     // relative jump target
    CC,      // any condition, C included
    CCJr,    // NZ Z NC C
    Bit,     // 0..7
    ImMode,  // 0 1 2
    Rst,     // 00h 08h .. 38h
    Zero,    // the value 0
};

struct Form {
    const char* mnemonic;
    Pat p1;
    Pat p2;
    std::uint8_t prefix;  // 0, EDh or CBh
    std::uint8_t opcode;
    int shift1;           // where the first operand's code goes, -1 nowhere
    int shift2;
};

constexpr Pat _ = Pat::None;

// clang-format off
const Form forms[] = {
    // No operands.
    {"NOP", _, _, 0, 0x00, -1, -1},  {"HALT", _, _, 0, 0x76, -1, -1}, {"DI", _, _, 0, 0xF3, -1, -1},
    {"EI", _, _, 0, 0xFB, -1, -1},   {"EXX", _, _, 0, 0xD9, -1, -1},  {"RLCA", _, _, 0, 0x07, -1, -1},
    {"RRCA", _, _, 0, 0x0F, -1, -1}, {"RLA", _, _, 0, 0x17, -1, -1},  {"RRA", _, _, 0, 0x1F, -1, -1},
    {"DAA", _, _, 0, 0x27, -1, -1},  {"CPL", _, _, 0, 0x2F, -1, -1},  {"SCF", _, _, 0, 0x37, -1, -1},
    {"CCF", _, _, 0, 0x3F, -1, -1},  {"RET", _, _, 0, 0xC9, -1, -1},
    {"NEG", _, _, 0xED, 0x44, -1, -1},  {"RETN", _, _, 0xED, 0x45, -1, -1}, {"RETI", _, _, 0xED, 0x4D, -1, -1},
    {"RRD", _, _, 0xED, 0x67, -1, -1},  {"RLD", _, _, 0xED, 0x6F, -1, -1},
    {"LDI", _, _, 0xED, 0xA0, -1, -1},  {"CPI", _, _, 0xED, 0xA1, -1, -1},  {"INI", _, _, 0xED, 0xA2, -1, -1},
    {"OUTI", _, _, 0xED, 0xA3, -1, -1}, {"LDD", _, _, 0xED, 0xA8, -1, -1},  {"CPD", _, _, 0xED, 0xA9, -1, -1},
    {"IND", _, _, 0xED, 0xAA, -1, -1},  {"OUTD", _, _, 0xED, 0xAB, -1, -1}, {"LDIR", _, _, 0xED, 0xB0, -1, -1},
    {"CPIR", _, _, 0xED, 0xB1, -1, -1}, {"INIR", _, _, 0xED, 0xB2, -1, -1}, {"OTIR", _, _, 0xED, 0xB3, -1, -1},
    {"LDDR", _, _, 0xED, 0xB8, -1, -1}, {"CPDR", _, _, 0xED, 0xB9, -1, -1}, {"INDR", _, _, 0xED, 0xBA, -1, -1},
    {"OTDR", _, _, 0xED, 0xBB, -1, -1},
    {"IM", Pat::ImMode, _, 0xED, 0x46, -1, -1},

    // Loads; the first matching form wins, so the special ones come first.
    {"LD", Pat::A, Pat::IndBC, 0, 0x0A, -1, -1}, {"LD", Pat::A, Pat::IndDE, 0, 0x1A, -1, -1},
    {"LD", Pat::A, Pat::Mem, 0, 0x3A, -1, -1},   {"LD", Pat::IndBC, Pat::A, 0, 0x02, -1, -1},
    {"LD", Pat::IndDE, Pat::A, 0, 0x12, -1, -1}, {"LD", Pat::Mem, Pat::A, 0, 0x32, -1, -1},
    {"LD", Pat::A, Pat::I, 0xED, 0x57, -1, -1},  {"LD", Pat::A, Pat::R, 0xED, 0x5F, -1, -1},
    {"LD", Pat::I, Pat::A, 0xED, 0x47, -1, -1},  {"LD", Pat::R, Pat::A, 0xED, 0x4F, -1, -1},
    {"LD", Pat::R8, Pat::R8, 0, 0x40, 3, 0},     {"LD", Pat::R8, Pat::N, 0, 0x06, 3, -1},
    {"LD", Pat::HLX, Pat::Mem, 0, 0x2A, -1, -1}, {"LD", Pat::RR, Pat::Mem, 0xED, 0x4B, 4, -1},
    {"LD", Pat::Mem, Pat::HLX, 0, 0x22, -1, -1}, {"LD", Pat::Mem, Pat::RR, 0xED, 0x43, -1, 4},
    {"LD", Pat::SP, Pat::HLX, 0, 0xF9, -1, -1},  {"LD", Pat::RR, Pat::NN, 0, 0x01, 4, -1},

    {"PUSH", Pat::QQ, _, 0, 0xC5, 4, -1}, {"POP", Pat::QQ, _, 0, 0xC1, 4, -1},
    {"EX", Pat::DE, Pat::HLOnly, 0, 0xEB, -1, -1}, {"EX", Pat::AF, Pat::AFAlt, 0, 0x08, -1, -1},
    {"EX", Pat::IndSP, Pat::HLX, 0, 0xE3, -1, -1},

    // Arithmetic and logic, with and without the A operand.
    {"ADD", Pat::A, Pat::R8, 0, 0x80, -1, 0}, {"ADD", Pat::A, Pat::N, 0, 0xC6, -1, -1},
    {"ADD", Pat::HLX, Pat::RR, 0, 0x09, -1, 4}, {"ADD", Pat::R8, _, 0, 0x80, 0, -1}, {"ADD", Pat::N, _, 0, 0xC6, -1, -1},
    {"ADC", Pat::A, Pat::R8, 0, 0x88, -1, 0}, {"ADC", Pat::A, Pat::N, 0, 0xCE, -1, -1},
    {"ADC", Pat::HLOnly, Pat::RR, 0xED, 0x4A, -1, 4}, {"ADC", Pat::R8, _, 0, 0x88, 0, -1}, {"ADC", Pat::N, _, 0, 0xCE, -1, -1},
    {"SUB", Pat::A, Pat::R8, 0, 0x90, -1, 0}, {"SUB", Pat::A, Pat::N, 0, 0xD6, -1, -1},
    {"SUB", Pat::R8, _, 0, 0x90, 0, -1}, {"SUB", Pat::N, _, 0, 0xD6, -1, -1},
    {"SBC", Pat::A, Pat::R8, 0, 0x98, -1, 0}, {"SBC", Pat::A, Pat::N, 0, 0xDE, -1, -1},
    {"SBC", Pat::HLOnly, Pat::RR, 0xED, 0x42, -1, 4}, {"SBC", Pat::R8, _, 0, 0x98, 0, -1}, {"SBC", Pat::N, _, 0, 0xDE, -1, -1},
    {"AND", Pat::A, Pat::R8, 0, 0xA0, -1, 0}, {"AND", Pat::A, Pat::N, 0, 0xE6, -1, -1},
    {"AND", Pat::R8, _, 0, 0xA0, 0, -1}, {"AND", Pat::N, _, 0, 0xE6, -1, -1},
    {"XOR", Pat::A, Pat::R8, 0, 0xA8, -1, 0}, {"XOR", Pat::A, Pat::N, 0, 0xEE, -1, -1},
    {"XOR", Pat::R8, _, 0, 0xA8, 0, -1}, {"XOR", Pat::N, _, 0, 0xEE, -1, -1},
    {"OR", Pat::A, Pat::R8, 0, 0xB0, -1, 0}, {"OR", Pat::A, Pat::N, 0, 0xF6, -1, -1},
    {"OR", Pat::R8, _, 0, 0xB0, 0, -1}, {"OR", Pat::N, _, 0, 0xF6, -1, -1},
    {"CP", Pat::A, Pat::R8, 0, 0xB8, -1, 0}, {"CP", Pat::A, Pat::N, 0, 0xFE, -1, -1},
    {"CP", Pat::R8, _, 0, 0xB8, 0, -1}, {"CP", Pat::N, _, 0, 0xFE, -1, -1},
    {"INC", Pat::R8, _, 0, 0x04, 3, -1}, {"INC", Pat::RR, _, 0, 0x03, 4, -1},
    {"DEC", Pat::R8, _, 0, 0x05, 3, -1}, {"DEC", Pat::RR, _, 0, 0x0B, 4, -1},

    // Rotates, shifts and bits (CBh prefix).
    {"RLC", Pat::R8CB, _, 0xCB, 0x00, 0, -1}, {"RRC", Pat::R8CB, _, 0xCB, 0x08, 0, -1},
    {"RL", Pat::R8CB, _, 0xCB, 0x10, 0, -1},  {"RR", Pat::R8CB, _, 0xCB, 0x18, 0, -1},
    {"SLA", Pat::R8CB, _, 0xCB, 0x20, 0, -1}, {"SRA", Pat::R8CB, _, 0xCB, 0x28, 0, -1},
    {"SLL", Pat::R8CB, _, 0xCB, 0x30, 0, -1}, {"SL1", Pat::R8CB, _, 0xCB, 0x30, 0, -1},
    {"SRL", Pat::R8CB, _, 0xCB, 0x38, 0, -1},
    {"BIT", Pat::Bit, Pat::R8CB, 0xCB, 0x40, 3, 0}, {"RES", Pat::Bit, Pat::R8CB, 0xCB, 0x80, 3, 0},
    {"SET", Pat::Bit, Pat::R8CB, 0xCB, 0xC0, 3, 0},

    // Jumps, calls and returns.
    {"JP", Pat::IndHLX, _, 0, 0xE9, -1, -1}, {"JP", Pat::CC, Pat::NN, 0, 0xC2, 3, -1},
    {"JP", Pat::NN, _, 0, 0xC3, -1, -1},
    {"JR", Pat::CCJr, Pat::Rel, 0, 0x20, 3, -1}, {"JR", Pat::Rel, _, 0, 0x18, -1, -1},
    {"DJNZ", Pat::Rel, _, 0, 0x10, -1, -1},
    {"CALL", Pat::CC, Pat::NN, 0, 0xC4, 3, -1}, {"CALL", Pat::NN, _, 0, 0xCD, -1, -1},
    {"RET", Pat::CC, _, 0, 0xC0, 3, -1},
    {"RST", Pat::Rst, _, 0, 0xC7, -1, -1},

    // Input and output.
    {"IN", Pat::A, Pat::Port, 0, 0xDB, -1, -1}, {"IN", Pat::R8Reg, Pat::IndC, 0xED, 0x40, 3, -1},
    {"IN", Pat::F, Pat::IndC, 0xED, 0x70, -1, -1}, {"IN", Pat::IndC, _, 0xED, 0x70, -1, -1},
    {"OUT", Pat::Port, Pat::A, 0, 0xD3, -1, -1}, {"OUT", Pat::IndC, Pat::R8Reg, 0xED, 0x41, -1, 3},
    {"OUT", Pat::IndC, Pat::Zero, 0xED, 0x71, -1, -1},
};

// The HD64180's additions (TASM's -x).
const Form extendedForms[] = {
    {"IN0", Pat::R8Reg, Pat::Port, 0xED, 0x00, 3, -1}, {"OUT0", Pat::Port, Pat::R8Reg, 0xED, 0x01, -1, 3},
    {"MLT", Pat::RR, _, 0xED, 0x4C, 4, -1},
    {"TST", Pat::R8CB, _, 0xED, 0x04, 3, -1}, {"TST", Pat::N, _, 0xED, 0x64, -1, -1},
    {"TSTIO", Pat::N, _, 0xED, 0x74, -1, -1},
    {"SLP", _, _, 0xED, 0x76, -1, -1},
    {"OTIM", _, _, 0xED, 0x83, -1, -1}, {"OTIMR", _, _, 0xED, 0x93, -1, -1},
    {"OTDM", _, _, 0xED, 0x8B, -1, -1}, {"OTDMR", _, _, 0xED, 0x9B, -1, -1},
};
// clang-format on

// The forms of each mnemonic in table order, the extended ones last.
using FormIndex = std::unordered_map<std::string, std::vector<const Form*>>;

FormIndex indexForms(bool extended)
{
    FormIndex index;
    for (const Form& f : forms) {
        index[f.mnemonic].push_back(&f);
    }
    if (extended) {
        for (const Form& f : extendedForms) {
            index[f.mnemonic].push_back(&f);
        }
    }
    return index;
}

const FormIndex& formsOf(bool extended)
{
    static const FormIndex base = indexForms(false);
    static const FormIndex all = indexForms(true);
    return extended ? all : base;
}

// Where the table has a wildcard, TASM takes any operand text as an
// expression: a label named like a register (A, PO, ...) or a parenthesised
// one. The operand as such an expression, if the pattern is a wildcard.
std::optional<Operand> asExpression(const Operand& op, std::string_view text, Pat pat)
{
    Operand e;
    switch (pat) {
    case Pat::N:
    case Pat::NN:
    case Pat::Rel:
    case Pat::Bit:
    case Pat::ImMode:
    case Pat::Rst:
    case Pat::Zero:
        if (op.kind == Kind::AFAlt) {
            return std::nullopt;
        }
        e.kind = Kind::Immediate;
        e.expression = trim(text);
        return e;
    case Pat::Mem:
    case Pat::Port: {
        const std::string_view t = trim(text);
        if (op.kind == Kind::Immediate || t.empty() || t.front() != '(' || t.back() != ')') {
            return std::nullopt;
        }
        e.kind = Kind::Memory;
        e.expression = trim(t.substr(1, t.size() - 2));
        return e;
    }
    default:
        return std::nullopt;
    }
}

// Whether an operand fits a pattern; code receives what goes into the opcode.
bool fits(const Operand& op, Pat pat, int& code)
{
    code = op.code;
    switch (pat) {
    case Pat::None: return false;
    case Pat::R8: return op.kind == Kind::Reg8 || op.kind == Kind::IndHL || op.kind == Kind::IndIndex;
    case Pat::R8CB: return (op.kind == Kind::Reg8 && !op.half) || op.kind == Kind::IndHL || op.kind == Kind::IndIndex;
    case Pat::R8Reg: return op.kind == Kind::Reg8 && !op.half;
    case Pat::A: return op.kind == Kind::Reg8 && !op.half && op.code == 7;
    case Pat::RR: return op.kind == Kind::Reg16;
    case Pat::QQ:
        if (op.kind == Kind::AF) {
            return true;
        }
        return op.kind == Kind::Reg16 && op.code != 3;
    case Pat::HLX: return op.kind == Kind::Reg16 && op.code == 2;
    case Pat::HLOnly: return op.kind == Kind::Reg16 && op.code == 2 && op.prefix == 0;
    case Pat::DE: return op.kind == Kind::Reg16 && op.code == 1;
    case Pat::SP: return op.kind == Kind::Reg16 && op.code == 3;
    case Pat::AF: return op.kind == Kind::AF;
    case Pat::AFAlt: return op.kind == Kind::AFAlt;
    case Pat::I: return op.kind == Kind::I;
    case Pat::R: return op.kind == Kind::R;
    case Pat::F: return op.kind == Kind::F;
    case Pat::IndBC: return op.kind == Kind::IndBC;
    case Pat::IndDE: return op.kind == Kind::IndDE;
    case Pat::IndSP: return op.kind == Kind::IndSP;
    case Pat::IndC: return op.kind == Kind::IndC;
    case Pat::IndHLX: return op.kind == Kind::IndHL || (op.kind == Kind::IndIndex && op.bareIndex);
    case Pat::N:
    case Pat::NN:
    case Pat::Rel:
    case Pat::Bit:
    case Pat::ImMode:
    case Pat::Rst:
    case Pat::Zero: return op.kind == Kind::Immediate;
    case Pat::Mem:
    case Pat::Port: return op.kind == Kind::Memory;
    case Pat::CC:
        if (op.kind == Kind::Reg8 && !op.half && op.code == 1) {
            code = 3;
            return true;
        }
        return op.kind == Kind::Cond;
    case Pat::CCJr:
        if (op.kind == Kind::Reg8 && !op.half && op.code == 1) {
            code = 3;
            return true;
        }
        return op.kind == Kind::Cond && op.code <= 2;
    }
    return false;
}

bool usesPlainHL(const Operand& op)
{
    return (op.kind == Kind::Reg8 && !op.half && (op.code == 4 || op.code == 5)) || op.kind == Kind::IndHL ||
           (op.kind == Kind::Reg16 && op.code == 2 && op.prefix == 0);
}

// An operand that must not meet the index registers' prefix unless it is
// the indexed memory one: then plain H and L stay H and L.
const char* indexConflict(const Operand* ops, std::size_t count)
{
    std::uint8_t prefix = 0;
    bool indexedMemory = false;
    int indexOperands = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const Operand& op = ops[k];
        if (op.prefix != 0) {
            if (prefix != 0 && prefix != op.prefix) {
                return "IX and IY cannot be mixed in one instruction";
            }
            prefix = op.prefix;
            indexedMemory = indexedMemory || op.kind == Kind::IndIndex;
            ++indexOperands;
        }
    }
    if (prefix == 0) {
        return nullptr;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const Operand& op = ops[k];
        if (usesPlainHL(op) && !(indexedMemory && indexOperands == 1 && op.kind == Kind::Reg8)) {
            return "H, L or HL cannot be used together with an index register here";
        }
    }
    if (indexedMemory && indexOperands > 1) {
        return "an indexed operand cannot be used with another index register";
    }
    return nullptr;
}

struct Field {
    Pat pat;
    const Operand* op;
};

}  // namespace

InstructionSet::InstructionSet(bool extended) : extended_(extended) {}

bool InstructionSet::isMnemonic(const std::string& upperMnemonic) const
{
    return added_.count(upperMnemonic) > 0 || formsOf(extended_).count(upperMnemonic) > 0;
}

OperandCursor::OperandCursor(std::string_view text) : text_(text), done_(trim(text).empty()) {}

bool OperandCursor::next(std::string_view& item)
{
    if (done_) {
        return false;
    }
    int level = 0;
    const char* const begin = text_.data();
    const char* const end = begin + text_.size();
    for (const char* p = begin + pos_; p != end; ++p) {
        if ((detail::classOf(*p) & (detail::Quote | detail::Separator)) == 0) {
            continue;
        }
        const char c = *p;
        if (c == '"' || c == '\'') {
            const std::size_t n = quotedLength(text_, static_cast<std::size_t>(p - begin));
            if (n > 0) {
                p += n - 1;
                continue;
            }
        }
        if (c == '(') {
            ++level;
        } else if (c == ')') {
            --level;
        } else if (c == ',' && level <= 0) {
            const auto at = static_cast<std::size_t>(p - begin);
            item = trim(text_.substr(pos_, at - pos_));
            pos_ = at + 1;
            return true;
        }
    }
    item = trim(text_.substr(pos_));
    done_ = true;
    return true;
}

std::vector<std::string> InstructionSet::splitOperands(std::string_view text)
{
    std::vector<std::string> parts;
    OperandCursor cursor(text);
    for (std::string_view item; cursor.next(item);) {
        parts.emplace_back(item);
    }
    return parts;
}

// How an instruction is encoded, worked out from its text alone: the same in
// every pass, so each distinct text is worked out once.
struct InstructionSet::Plan {
    std::string text;   // the operands; the views below point into it
    std::string error;  // when the text cannot be encoded at all
    // An .addinstr instruction:
    const Added* added = nullptr;
    std::string_view addedExpression;
    // A form of the table:
    const Form* form = nullptr;
    Operand ops[2];
    std::size_t count = 0;
    int codes[2] = {0, 0};
    bool asExpressions = false;  // some operand is read as an expression
    std::uint8_t indexPrefix = 0;
    int indexed = -1;            // the operand whose displacement follows
};

InstructionSet::~InstructionSet() = default;

const InstructionSet::Plan& InstructionSet::planFor(const std::string& mnemonic, std::string_view operandText) const
{
    planKey_.assign(mnemonic);
    planKey_ += '\n';
    planKey_.append(operandText);
    if (const auto it = plans_.find(planKey_); it != plans_.end()) {
        return *it->second;
    }
    auto plan = std::make_unique<Plan>();
    plan->text = std::string(operandText);
    makePlan(mnemonic, *plan);
    return *plans_.emplace(planKey_, std::move(plan)).first->second;
}

void InstructionSet::makePlan(const std::string& mnemonic, Plan& plan) const
{
    const std::string_view operandText = plan.text;
    std::string_view texts[2];
    std::size_t count = 0;
    OperandCursor cursor(operandText);
    for (std::string_view item; cursor.next(item); ++count) {
        if (count < 2) {
            texts[count] = item;
        }
    }

    if (auto added = added_.find(mnemonic); added != added_.end()) {
        std::string compact;
        for (char c : upper(operandText)) {
            if (!isBlank(c)) {
                compact += c;
            }
        }
        for (const Added& a : added->second) {
            // The pattern's literal text around one '*' must match.
            const std::size_t star = a.pattern.find('*');
            std::string_view expression;
            if (star == std::string::npos) {
                if (compact != a.pattern) {
                    continue;
                }
            } else {
                const std::string head = a.pattern.substr(0, star);
                const std::string tail = a.pattern.substr(star + 1);
                if (compact.size() < head.size() + tail.size() || compact.compare(0, head.size(), head) != 0 ||
                    compact.compare(compact.size() - tail.size(), tail.size(), tail) != 0) {
                    continue;
                }
                // Take the expression from the original text, not the folded one.
                std::string_view original = trim(operandText);
                std::size_t skip = 0;
                std::size_t i = 0;
                while (skip < head.size() && i < original.size()) {
                    if (!isBlank(original[i])) {
                        ++skip;
                    }
                    ++i;
                }
                std::size_t cut = original.size();
                std::size_t kept = 0;
                while (kept < tail.size() && cut > i) {
                    --cut;
                    if (!isBlank(original[cut])) {
                        ++kept;
                    }
                }
                expression = original.substr(i, cut - i);
            }
            plan.added = &a;
            plan.addedExpression = expression;
            return;
        }
        if (formsOf(extended_).count(mnemonic) == 0) {
            plan.error = "operands do not match any form of " + mnemonic;
            return;
        }
    }

    if (count > 2) {
        plan.error = "too many operands for " + mnemonic;
        return;
    }
    Operand ops[2];
    for (std::size_t k = 0; k < count; ++k) {
        if (texts[k].empty()) {
            plan.error = "empty operand";
            return;
        }
        ops[k] = classify(texts[k]);
    }

    const auto known = formsOf(extended_).find(mnemonic);
    if (known == formsOf(extended_).end()) {
        plan.error = "unknown instruction '" + mnemonic + "'";
        return;
    }
    // The literal forms of the table first; then, as TASM does, any operand
    // text where the table has a wildcard.
    const Form* chosen = nullptr;
    int codes[2] = {0, 0};
    bool asExpressions = false;
    for (int round = 0; round < 2 && !chosen; ++round) {
        for (const Form* f : known->second) {
            const std::size_t wanted = f->p1 == Pat::None ? 0 : f->p2 == Pat::None ? 1 : 2;
            if (wanted != count) {
                continue;
            }
            const Pat pats[2] = {f->p1, f->p2};
            Operand tried[2] = {ops[0], ops[1]};
            int c[2] = {0, 0};
            bool fit = true;
            for (std::size_t k = 0; k < wanted && fit; ++k) {
                if (fits(tried[k], pats[k], c[k])) {
                    continue;
                }
                std::optional<Operand> e;
                if (round == 1) {
                    e = asExpression(tried[k], texts[k], pats[k]);
                }
                fit = e && fits(*e, pats[k], c[k]);
                if (fit) {
                    tried[k] = *e;
                }
            }
            // LD (HL),(HL) would be HALT.
            if (!fit || (f->opcode == 0x40 && f->prefix == 0 && c[0] == 6 && c[1] == 6)) {
                continue;
            }
            chosen = f;
            codes[0] = c[0];
            codes[1] = c[1];
            asExpressions = round == 1;
            ops[0] = tried[0];
            ops[1] = tried[1];
            break;
        }
    }
    if (!chosen) {
        plan.error = "operands do not match any form of " + mnemonic;
        return;
    }
    if (const char* conflict = indexConflict(ops, count)) {
        plan.error = conflict;
        return;
    }

    const Pat pats[2] = {chosen->p1, chosen->p2};
    for (std::size_t k = 0; k < count; ++k) {
        if (ops[k].prefix != 0) {
            plan.indexPrefix = ops[k].prefix;
        }
        // JP (IX) has no displacement.
        if (ops[k].kind == Kind::IndIndex && pats[k] != Pat::IndHLX) {
            plan.indexed = static_cast<int>(k);
        }
    }
    if (plan.indexPrefix != 0 && chosen->prefix == 0xED) {
        plan.error = "operands do not match any form of " + mnemonic;
        return;
    }
    plan.form = chosen;
    plan.ops[0] = ops[0];
    plan.ops[1] = ops[1];
    plan.count = count;
    plan.codes[0] = codes[0];
    plan.codes[1] = codes[1];
    plan.asExpressions = asExpressions;
}

Encoding InstructionSet::encode(const std::string& mnemonic, std::string_view operandText, std::int32_t pc,
                                const Evaluator& evaluate) const
{
    const Plan& plan = planFor(mnemonic, operandText);
    if (!plan.error.empty()) {
        return {false, {}, plan.error};
    }
    Encoding result;
    if (plan.added) {
        const Added& a = *plan.added;
        for (std::uint8_t b : a.opcode) {
            result.bytes.push_back(b);
        }
        if (!plan.addedExpression.empty()) {
            const Evaluation e = evaluate(plan.addedExpression);
            if (!e.ok) {
                return {false, {}, e.error};
            }
            auto v = static_cast<std::uint32_t>(e.value.value);
            while (static_cast<int>(result.bytes.size()) < a.size) {
                result.bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
                v >>= 8;
            }
        }
        while (static_cast<int>(result.bytes.size()) < a.size) {
            result.bytes.push_back(0);
        }
        return result;
    }

    const Form* chosen = plan.form;
    const Operand* ops = plan.ops;
    const std::size_t count = plan.count;
    const int* codes = plan.codes;
    const Pat pats[2] = {chosen->p1, chosen->p2};
    const std::uint8_t indexPrefix = plan.indexPrefix;
    const Operand* indexed = plan.indexed >= 0 ? &ops[plan.indexed] : nullptr;
    std::uint8_t opcode = chosen->opcode;
    const int shifts[2] = {chosen->shift1, chosen->shift2};
    Encoding::Bytes tail;
    std::string error;

    auto value = [&](const Operand& op, std::int64_t low, std::int64_t high, const char* what) -> std::int64_t {
        const Evaluation e = evaluate(op.expression);
        if (!e.ok) {
            if (error.empty()) {
                error = e.error;
            }
            return 0;
        }
        if (e.value.known && (e.value.value < low || e.value.value > high) && error.empty()) {
            error = std::string(what) + " " + std::to_string(e.value.value) + " out of range " + std::to_string(low) +
                    ".." + std::to_string(high);
        }
        return e.value.known ? e.value.value : 0;
    };

    for (std::size_t k = 0; k < count; ++k) {
        const Operand& op = ops[k];
        switch (pats[k]) {
        case Pat::N: tail.push_back(static_cast<std::uint8_t>(value(op, -128, 255, "value"))); break;
        case Pat::Port: tail.push_back(static_cast<std::uint8_t>(value(op, -128, 255, "port"))); break;
        case Pat::NN:
        case Pat::Mem: {
            const auto v = static_cast<std::uint32_t>(value(op, -32768, 65535, "value"));
            tail.push_back(static_cast<std::uint8_t>(v & 0xFF));
            tail.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
            break;
        }
        case Pat::Rel: {
            const Evaluation e = evaluate(op.expression);
            std::int64_t offset = 0;
            if (!e.ok) {
                error = e.error;
            } else if (e.value.known) {
                offset = static_cast<std::int64_t>(e.value.value) - (static_cast<std::int64_t>(pc) + 2);
                if (offset < -128 || offset > 127) {
                    error = "relative jump out of range (" + std::to_string(offset) + " bytes)";
                    offset = 0;
                }
            }
            tail.push_back(static_cast<std::uint8_t>(offset & 0xFF));
            break;
        }
        case Pat::Bit: opcode = static_cast<std::uint8_t>(opcode | (value(op, 0, 7, "bit number") << 3)); break;
        case Pat::Rst: {
            const std::int64_t v = value(op, 0, 0x38, "restart address");
            if (v % 8 != 0 && error.empty()) {
                error = "restart address must be a multiple of 8";
            }
            opcode = static_cast<std::uint8_t>(opcode | (v & 0x38));
            break;
        }
        case Pat::ImMode: {
            static const std::uint8_t modes[] = {0x46, 0x56, 0x5E};
            opcode = modes[std::clamp<std::int64_t>(value(op, 0, 2, "interrupt mode"), 0, 2)];
            break;
        }
        case Pat::Zero:
            if (value(op, 0, 0, "value") != 0 && error.empty()) {
                error = "OUT (C) takes only the value 0";
            }
            break;
        default:
            if (shifts[k] >= 0) {
                opcode = static_cast<std::uint8_t>(opcode | (codes[k] << shifts[k]));
            }
            break;
        }
    }

    std::uint8_t displacement = 0;
    if (indexed) {
        const Evaluation e = evaluate(indexed->expression);
        if (!e.ok) {
            error = e.error;
        } else if (e.value.known) {
            if (e.value.value < -128 || e.value.value > 127) {
                error = "index offset " + std::to_string(e.value.value) + " out of range -128..127";
            }
            displacement = static_cast<std::uint8_t>(e.value.value & 0xFF);
        }
    }
    if (!error.empty()) {
        // A register name read as a label that does not exist: say what
        // was most likely meant.
        if (plan.asExpressions && error.rfind("undefined label", 0) == 0) {
            error = "operands do not match any form of " + mnemonic;
        }
        return {false, {}, error};
    }

    if (indexPrefix) {
        result.bytes.push_back(indexPrefix);
    }
    if (chosen->prefix) {
        result.bytes.push_back(chosen->prefix);
    }
    if (chosen->prefix == 0xCB && indexed) {
        result.bytes.push_back(displacement);
        result.bytes.push_back(opcode);
        return result;
    }
    result.bytes.push_back(opcode);
    if (indexed) {
        result.bytes.push_back(displacement);
    }
    for (std::uint8_t b : tail) {
        result.bytes.push_back(b);
    }
    return result;
}

bool InstructionSet::addInstruction(std::string_view definition, std::string& error)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : definition) {
        if (isBlank(c)) {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    if (words.size() < 4) {
        error = ".addinstr needs a mnemonic, operands, an opcode and a size";
        return false;
    }
    Added a;
    a.pattern = words[1] == "\"\"" ? std::string() : upper(words[1]);
    const std::string& hex = words[2];
    if (hex.empty() || hex.size() % 2 != 0) {
        error = ".addinstr opcode must be whole hex bytes";
        return false;
    }
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const std::optional<std::int64_t> b = parseNumber("$" + hex.substr(i, 2));
        if (!b) {
            error = ".addinstr opcode must be hex digits";
            return false;
        }
        a.opcode.push_back(static_cast<std::uint8_t>(*b));
    }
    const std::optional<std::int64_t> size = parseNumber(words[3]);
    if (!size || *size < static_cast<std::int64_t>(a.opcode.size()) || *size > 8) {
        error = ".addinstr size must be at least the opcode's and at most 8";
        return false;
    }
    a.size = static_cast<int>(*size);
    added_[upper(words[0])].push_back(a);
    // Plans point at the added instructions and may now be different.
    plans_.clear();
    return true;
}

}  // namespace tasm
