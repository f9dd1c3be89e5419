#pragma once

#include "Expression.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tasm {

// Evaluates an operand expression at the current statement.
using Evaluator = std::function<Evaluation(std::string_view)>;

// Walks the operands of a text, split at its top-level commas (not inside
// parentheses, strings or character constants), each trimmed; no operand at
// all when the text is blank.
class OperandCursor {
public:
    explicit OperandCursor(std::string_view text);
    // The next operand; false when there are no more.
    bool next(std::string_view& item);

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool done_;
};

struct Encoding {
    // At most eight bytes (.addinstr's limit), kept without allocating.
    struct Bytes {
        std::array<std::uint8_t, 8> data{};
        std::size_t count = 0;
        void push_back(std::uint8_t b) { data[count++] = b; }
        std::size_t size() const { return count; }
        const std::uint8_t* begin() const { return data.data(); }
        const std::uint8_t* end() const { return data.data() + count; }
    };
    bool ok = true;
    Bytes bytes;
    std::string error;
};

// The Z80 instruction set, documented and the common undocumented forms, as
// a table of mnemonic, operand patterns and opcode fields; plus the
// instructions a source adds with .addinstr.
class InstructionSet {
public:
    // extended: the HD64180's instructions too (TASM's -x).
    explicit InstructionSet(bool extended = false);
    ~InstructionSet();

    bool isMnemonic(const std::string& upperMnemonic) const;
    // Encodes one instruction; pc is the address of its first byte. The
    // size never depends on the values, so forward references are safe.
    Encoding encode(const std::string& upperMnemonic, std::string_view operands, std::int32_t pc,
                    const Evaluator& evaluate) const;

    // .addinstr MNEMONIC ARGS OPCODE SIZE [RULE ...]: ARGS is the operand
    // text with * where an expression goes; the opcode's bytes are written
    // first, then the expression, low byte first, to fill SIZE bytes.
    bool addInstruction(std::string_view definition, std::string& error);

    // Splits operands at top-level commas (not inside parentheses, strings
    // or character constants).
    static std::vector<std::string> splitOperands(std::string_view text);

private:
    struct Added {
        std::string pattern;  // upper case, blanks removed
        std::vector<std::uint8_t> opcode;
        int size;
    };
    struct Plan;
    const Plan& planFor(const std::string& mnemonic, std::string_view operands) const;
    void makePlan(const std::string& mnemonic, Plan& plan) const;

    bool extended_;
    std::map<std::string, std::vector<Added>> added_;
    // Every pass encodes the same statements again: what their text decides
    // is kept, by mnemonic and operand text.
    mutable std::unordered_map<std::string, std::unique_ptr<Plan>> plans_;
    mutable std::string planKey_;
};

}  // namespace tasm
