#include "calc/ports/ModelPorts.h"

#include <array>

namespace zoetra::calc {

namespace {

constexpr std::array<ModelPorts, 4> Table{{
    {CalculatorModel::Ti83Plus, 0x03, std::nullopt, 0x40},
    {CalculatorModel::Ti83PlusSe, 0x83, 0x01, 0x80},
    {CalculatorModel::Ti84Plus, 0xA3, 0x00, 0x80},
    {CalculatorModel::Ti84PlusSe, 0xA3, 0x01, 0x80},
}};

constexpr bool inModelOrder()
{
    for (std::size_t i = 0; i < Table.size(); ++i) {
        if (static_cast<std::size_t>(Table[i].model) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inModelOrder());

// The Flash page bits of ports 6 and 7 are the model's pages.
constexpr bool flashPagesArePowersOfTwo()
{
    for (const ModelFacts& facts : Models) {
        if ((facts.flashPages & (facts.flashPages - 1)) != 0) {
            return false;
        }
    }
    return true;
}
static_assert(flashPagesArePowersOfTwo());

}  // namespace

const ModelPorts& modelPorts(CalculatorModel model)
{
    return Table[static_cast<std::size_t>(model)];
}

}  // namespace zoetra::calc
