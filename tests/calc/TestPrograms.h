#pragma once

#include "calc/Calculator.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace zoetra::calc::test {

// A program: the two token bytes, then the code at 9D95h.
std::vector<std::uint8_t> program(std::initializer_list<std::uint8_t> code);

// One of the programs in tests/calc/programs, assembled by our TASM with
// the given defines; empty (and a test failure) when it does not assemble.
std::vector<std::uint8_t> assembled(const std::string& name,
                                    const std::vector<std::pair<std::string, std::string>>& defines = {});

inline constexpr CalculatorModel AllModels[] = {CalculatorModel::Ti83Plus, CalculatorModel::Ti83PlusSe,
                                                CalculatorModel::Ti84Plus, CalculatorModel::Ti84PlusSe};

}  // namespace zoetra::calc::test
