#include "calc/Calculator.h"

#include "calc/ProgramFile.h"

#include <algorithm>

namespace zoetra::calc {

void Calculator::load(std::uint16_t address, std::span<const std::uint8_t> bytes)
{
    machine_.load(address, bytes);
}

void Calculator::loadProgram(std::span<const std::uint8_t> bytes)
{
    machine_.loadProgram(bytes);
    os_.programLoaded();
}

bool Calculator::loadProgramFile(const std::vector<std::uint8_t>& file, std::string* error)
{
    const auto contents = readProgramFile(file, error);
    if (!contents) {
        return false;
    }
    if (ProgramOrigin + contents->program.size() > StackBottom) {
        if (error != nullptr) {
            *error = "program too large for the calculator's RAM";
        }
        return false;
    }
    loadProgram(contents->program);
    return true;
}

std::optional<PlacedVariable> Calculator::loadAppVar(std::string_view name, std::span<const std::uint8_t> data,
                                                     bool archived, std::string* error)
{
    return os_.loadAppVar(name, data, archived, error);
}

bool Calculator::padArchiveTo(FlashAddress at, std::string* error)
{
    return os_.padArchiveTo(at, error);
}

void Calculator::start(std::uint16_t entry)
{
    machine_.resetCpu();
    const std::uint16_t sp = CallerStackPointer - 2;
    machine_.memory().ram(sp) = ReturnSentinel & 0xFF;
    machine_.memory().ram(sp + 1) = ReturnSentinel >> 8;
    machine_.setReg(Reg::SP, sp);
    machine_.setReg(Reg::PC, entry);
    machine_.setReg(Reg::IY, FlagsBase);
    machine_.setReg(Reg::IM, 1);
    machine_.setReg(Reg::IFF1, 1);
    machine_.setReg(Reg::IFF2, 1);
    machine_.scrambleRegisters();
    machine_.resume();
}

void Calculator::press(Key key)
{
    machine_.press(key);
}

void Calculator::pressAfterScreens(Key key, std::optional<std::size_t> screens)
{
    machine_.pressAfterScreens(key, screens);
}

std::size_t Calculator::callCount(std::uint16_t address) const
{
    const std::vector<std::uint16_t>& calls = os_.systemCalls();
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), address));
}

Stop Calculator::stopReason() const
{
    if (faulted()) {
        return Stop::Fault;
    }
    return returned() ? Stop::Returned : Stop::WaitingForKey;
}

Stop Calculator::runUntil(std::uint16_t address, std::uint64_t stepBudget)
{
    for (std::uint64_t done = 0;; ++done) {
        if (machine_.stopped()) {
            return stopReason();
        }
        if (pc() == address) {
            return Stop::ReachedAddress;
        }
        if (done >= stepBudget) {
            return Stop::BudgetExhausted;
        }
        machine_.step();
    }
}

Stop Calculator::run(std::uint64_t stepBudget)
{
    return runUntil(ReturnSentinel, stepBudget);
}

Stop Calculator::runUntilTime(std::uint64_t tstates)
{
    const std::uint64_t until = tstates * ClockPerTState;
    while (machine_.clock() < until && !machine_.stopped()) {
        machine_.step();
    }
    if (waitingForKey() && machine_.clock() < until) {
        // The OS waits in _GetKey, taking its own timer ticks meanwhile.
        machine_.idleUntil(until);
    }
    return machine_.stopped() ? stopReason() : Stop::TimeReached;
}

Stop Calculator::runToNextScreen()
{
    const std::size_t shown = screenCount();
    while (screenCount() == shown && !machine_.stopped()) {
        machine_.step();
    }
    if (faulted() || returned() || screenCount() == shown) {
        return stopReason();
    }
    return Stop::ScreenShown;
}

}  // namespace zoetra::calc
