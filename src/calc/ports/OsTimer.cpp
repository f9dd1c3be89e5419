#include "calc/ports/OsTimer.h"

#include "calc/Timing.h"

namespace zoetra::calc {

namespace {

std::uint64_t period(double hz)
{
    return static_cast<std::uint64_t>(static_cast<double>(ClockHz) / hz + 0.5);
}

std::array<std::uint64_t, 4> periods(const ModelFacts& facts)
{
    std::array<std::uint64_t, 4> periods{};
    for (std::size_t i = 0; i < periods.size(); ++i) {
        periods[i] = period(facts.timerRatesHz[i]);
    }
    if (!facts.crystal) {
        // The timer divides the CPU's clock: its default keeps a whole number
        // of T-states, as the player's pace was measured with.
        static_assert(modelFacts(CalculatorModel::Ti83Plus).timerHz == static_cast<double>(TimerHz));
        periods[3] = facts.slowCpuHz / static_cast<std::uint64_t>(facts.timerHz) * ClockPerTState;
    }
    return periods;
}

}  // namespace

OsTimer::OsTimer(const ModelFacts& facts) : periods_(periods(facts)), period_(periods_[3]), nextTick_(period_)
{
}

}  // namespace zoetra::calc
