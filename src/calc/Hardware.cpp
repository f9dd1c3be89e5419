#include "calc/Hardware.h"

#include "calc/Timing.h"

namespace zoetra::calc {

namespace {

constexpr std::uint64_t period(double hz)
{
    return static_cast<std::uint64_t>(static_cast<double>(ClockHz) / hz + 0.5);
}

// Timer rates by port 4 bits 1-2: 560, 248, 170 and 118 Hz on the TI-83
// Plus; 512, 227.5, 146.3 and 107.8 Hz (32768 / 304) on the others, from a
// crystal and so at either CPU speed. The TI-83 Plus's default keeps a whole
// number of 6 MHz T-states, as the player's pace was measured with.
static_assert(modelFacts(CalculatorModel::Ti83Plus).timerHz == static_cast<double>(TimerHz));
constexpr std::array<std::uint64_t, 4> Ti83PlusTimer{period(560), period(248), period(170),
                                                     TimerPeriodTStates * ClockPerTState};
constexpr std::array<std::uint64_t, 4> CrystalTimer{period(512), period(227.5), period(146.3),
                                                    period(modelFacts(CalculatorModel::Ti84Plus).timerHz)};

constexpr std::array<Hardware, 4> Models{{
    {CalculatorModel::Ti83Plus, 0x03, std::nullopt, 0x40, 0x1F, Ti83PlusTimer},
    {CalculatorModel::Ti83PlusSe, 0x83, 0x01, 0x80, 0x7F, CrystalTimer},
    {CalculatorModel::Ti84Plus, 0xA3, 0x00, 0x80, 0x3F, CrystalTimer},
    {CalculatorModel::Ti84PlusSe, 0xA3, 0x01, 0x80, 0x7F, CrystalTimer},
}};

}  // namespace

const Hardware& hardware(CalculatorModel model)
{
    return Models[static_cast<std::size_t>(model)];
}

}  // namespace zoetra::calc
