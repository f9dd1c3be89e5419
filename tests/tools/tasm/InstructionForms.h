#pragma once

#include <string>
#include <vector>

namespace tasm::test {

// One line for every Z80 instruction form in all its operand variants, in
// the syntax the independent assemblers share.
std::vector<std::string> instructionForms();

// Expressions whose value does not depend on operator precedence.
std::vector<std::string> precedenceFreeExpressions();

}  // namespace tasm::test
