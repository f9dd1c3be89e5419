#pragma once

#include <string>
#include <vector>

namespace tasm::test {

// One line for every Z80 instruction form in all its operand variants, in
// the syntax the independent assemblers share.
std::vector<std::string> instructionForms();

// The HD64180's additions, every operand variant.
std::vector<std::string> hd64180Forms();

// Expressions whose value does not depend on operator precedence.
std::vector<std::string> precedenceFreeExpressions();

}  // namespace tasm::test
