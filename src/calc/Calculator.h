#pragma once

#include "calc/Archive.h"
#include "calc/Machine.h"
#include "calc/Os.h"
#include "calc/Screen.h"
#include "calc/Timing.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zoetra::calc {

enum class Stop {
    Returned,         // back at the caller with the stack as it was
    ReachedAddress,   // runUntil's address
    Fault,            // see fault()
    BudgetExhausted,  // the step budget ran out first
    WaitingForKey,    // in _GetKey with no key pressed: see press()
    TimeReached,      // runUntilTime's time
    ScreenShown,      // runToNextScreen's screen
};

// A TI-83 Plus family calculator as far as an assembly program run from the
// home screen sees it: the machine (Flash and RAM in pages behind ports 6
// and 7, RAM filled with a fixed pattern, Flash read-only, the ports) with
// the OS in it, present only as its system calls, its timer interrupt and
// the archive as it keeps it; and the ways to load, run and watch a
// program. Emulated time is counted in 6 MHz T-states at either CPU speed;
// the OS calls cost what they take on the calculator (see Timing.h).
// Anything a well-behaved program must not do, and showing no frame for
// ten emulated seconds, stops the run with a fault.
class Calculator {
public:
    explicit Calculator(CalculatorModel model = CalculatorModel::Ti83Plus, const HardwareReadings& readings = {})
        : machine_(model, readings)
    {
    }
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    CalculatorModel model() const { return machine_.hardware().model; }
    const HardwareReadings& readings() const { return machine_.readings(); }

    // Raw bytes into memory as it is mapped now, bypassing every check.
    void load(std::uint16_t address, std::span<const std::uint8_t> bytes);
    // The program bytes of a .8xp file at 9D93h; they become writable.
    // False with a reason when the file is not a readable program file.
    bool loadProgramFile(const std::vector<std::uint8_t>& file, std::string* error = nullptr);
    // Program bytes (starting with BB 6D) at 9D93h; they become writable.
    void loadProgram(std::span<const std::uint8_t> bytes);
    // An AppVar (1 to 8 characters) as the OS keeps it: archived, in the
    // next place in the archive; else in RAM after the program (load the
    // program first). Either way with its entry in the VAT. Nothing, with a
    // reason, when it does not fit.
    std::optional<PlacedVariable> loadAppVar(std::string_view name, std::span<const std::uint8_t> data, bool archived,
                                             std::string* error = nullptr);
    // Where the next archived variable's entry would start, and a deleted
    // entry that moves it to `at` (in the same 64 KB sector): the way to put
    // entries across page ends, as a full archive has them.
    FlashAddress nextArchiveEntry() const { return os_.nextArchiveEntry(); }
    bool padArchiveTo(FlashAddress at, std::string* error = nullptr);

    // Registers as Asm( leaves them: PC 9D95h, IY flags, IM 1, interrupts
    // on, the sentinel return address pushed. A shell may enter elsewhere.
    void start(std::uint16_t entry = ProgramStart);

    // One instruction, system call or interrupt; the T-states it took (a
    // halt includes its wait for the timer).
    std::uint64_t step() { return machine_.step(); }
    // Steps until PC reaches `address` (or the program returns, faults or
    // waits for a key), at most `stepBudget` steps.
    Stop runUntil(std::uint16_t address, std::uint64_t stepBudget);
    // Runs until the program returns to its caller.
    Stop run(std::uint64_t stepBudget);
    // Runs until the emulated time reaches `tstates` (or the program
    // returns or faults); waiting for a key, the time passes idle.
    Stop runUntilTime(std::uint64_t tstates);
    // Runs until the next screen is shown, or the program returns, faults
    // or waits for a key; a run-away program faults within ten seconds.
    Stop runToNextScreen();

    // A key pressed now: the next _GetCSC or _GetKey takes it, and the
    // keypad port shows it held for a tenth of a second.
    void press(Key key);
    // The key is pressed as the `screens`-th screen is shown.
    void pressAfterScreens(Key key, std::optional<std::size_t> screens);
    bool waitingForKey() const { return machine_.waitingForKey(); }
    bool returned() const { return machine_.returned(); }
    bool faulted() const { return !machine_.fault().empty(); }

    // A byte as the program would read it now.
    std::uint8_t peek(std::uint16_t address) const { return machine_.memory().read(address); }
    std::uint8_t peekFlash(FlashAddress at) const { return machine_.memory().flash()[at.linear()]; }
    Screen plotSScreen() const { return machine_.plotSScreen(); }
    const Screen& lcd() const { return machine_.lcd(); }
    // Counts every change of the LCD's contents by the OS.
    std::uint64_t lcdWrites() const { return machine_.lcdWrites(); }
    const std::vector<ShownScreen>& screens() const { return machine_.screens(); }
    // The screens shown since the last call; they leave screens().
    std::vector<ShownScreen> takeScreens() { return machine_.takeScreens(); }
    // Every screen ever shown, taken or not.
    std::size_t screenCount() const { return machine_.screenCount(); }
    const std::string& fault() const { return machine_.fault(); }
    std::uint16_t pc() const { return machine_.pc(); }
    std::uint16_t sp() const { return machine_.sp(); }
    std::uint8_t port6() const { return machine_.port6(); }
    std::uint8_t port7() const { return machine_.port7(); }
    std::uint32_t cpuHz() const { return machine_.cpuHz(); }
    // The CPU's interrupt mode (the OS runs in IM 1).
    int interruptMode() const { return machine_.reg(Reg::IM); }
    ExitState exitState() const { return machine_.exitState(); }
    // The home screen's text as the OS keeps it (textShadow): 8 rows of 16
    // characters, spaces where nothing was printed.
    std::vector<std::string> homeScreen() const { return os_.homeScreen(); }
    // Every character printed, in order, a new line as '\n'.
    const std::string& printed() const { return os_.printed(); }
    bool apdEnabled() const { return os_.apdEnabled(); }

    // The program's state as far as a well-behaved program can depend on it
    // after a system call: registers and ports, the live stack and what the
    // program itself left below SP, plotSScreen, the flags, the RAM opened to
    // it, the LCD, and its own bytes once it has written them. Equal digests
    // at two screens mean the program repeats itself.
    std::uint64_t stateDigest() const { return machine_.stateDigest(); }

    // The link port's lines: which the program holds low now, and their
    // changes since the last call, stamped in ClockHz steps (the T-state of
    // the write, at either CPU speed).
    std::uint8_t linesHeld() const { return machine_.linesHeld(); }
    std::vector<LineEdge> takeLineEdges() { return machine_.takeLineEdges(); }

    // Every system call made, in order.
    const std::vector<std::uint16_t>& systemCalls() const { return os_.systemCalls(); }
    std::size_t callCount(std::uint16_t address) const;
    std::uint64_t halts() const { return machine_.halts(); }
    std::uint64_t interrupts() const { return machine_.interrupts(); }
    std::uint64_t steps() const { return machine_.steps(); }
    // Emulated time since the calculator was made, in 6 MHz T-states.
    std::uint64_t tstates() const { return machine_.tstates(); }
    // T-states of the program's own instructions only, at the CPU's speed.
    std::uint64_t programTStates() const { return machine_.programTStates(); }
    // Highest address an instruction was fetched from in RAM.
    std::uint16_t highestExecuted() const { return machine_.highestExecuted(); }
    // Highest address of the program's bytes read other than as an opcode
    // (operands and data); 0 when none.
    std::uint16_t highestDataRead() const { return machine_.highestDataRead(); }
    bool runIndicatorOn() const { return os_.runIndicatorOn(); }
    bool textShadowCleared() const { return os_.textShadowCleared(); }
    bool cursorHome() const { return os_.cursorHome(); }

    // The fixed pattern RAM starts with.
    static std::uint8_t fillPattern(std::uint16_t address) { return Machine::fillPattern(address); }

private:
    Stop stopReason() const;

    Machine machine_;
    Os os_{machine_};
};

}  // namespace zoetra::calc
