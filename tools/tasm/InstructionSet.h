#pragma once

#include "Expression.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tasm {

// Evaluates an operand expression at the current statement.
using Evaluator = std::function<Evaluation(std::string_view)>;

struct Encoding {
    bool ok = true;
    std::vector<std::uint8_t> bytes;
    std::string error;
};

// The Z80 instruction set, documented and the common undocumented forms, as
// a table of mnemonic, operand patterns and opcode fields; plus the
// instructions a source adds with .addinstr.
class InstructionSet {
public:
    // extended: the HD64180's instructions too (TASM's -x).
    explicit InstructionSet(bool extended = false);

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
    bool extended_;
    std::map<std::string, std::vector<Added>> added_;
};

}  // namespace tasm
