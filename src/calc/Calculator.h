#pragma once

#include "calc/Screen.h"
#include "calc/Timing.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct _z80_cpu_context;

namespace zoetra::calc {

// TI-83 Plus addresses the emulator knows.
inline constexpr std::uint16_t ProgramOrigin = 0x9D93;  // the two token bytes
inline constexpr std::uint16_t ProgramStart = 0x9D95;   // first executed byte
inline constexpr std::uint16_t PlotSScreen = 0x9340;
inline constexpr std::uint16_t FlagsBase = 0x89F0;
inline constexpr std::uint16_t GraphFlags = FlagsBase + 3;  // bit 0: graphDraw
inline constexpr std::uint32_t ExecutionLimit = 0xC000;
inline constexpr std::uint16_t RamStart = 0x8000;
// The hardware stack: the caller's frame sits at the top.
inline constexpr std::uint16_t StackBottom = 0xFE70;
inline constexpr std::uint16_t CallerStackPointer = 0xFFF2;
// Where the "caller" continues when the program returns; in ROM, never run.
inline constexpr std::uint16_t ReturnSentinel = 0x3FFA;

// The system calls the emulator knows (rst 28h followed by the address).
namespace bcall {
inline constexpr std::uint16_t GetCSC = 0x4018;
inline constexpr std::uint16_t GrBufCpy = 0x486A;
inline constexpr std::uint16_t ClrLCDFull = 0x4540;
inline constexpr std::uint16_t ClrScrnFull = 0x4546;
inline constexpr std::uint16_t GrBufClr = 0x4BD0;
inline constexpr std::uint16_t GetKey = 0x4972;
inline constexpr std::uint16_t HomeUp = 0x4558;
inline constexpr std::uint16_t RunIndicOff = 0x4570;
inline constexpr std::uint16_t RunIndicOn = 0x456D;
}  // namespace bcall

enum class Key { Enter, Clear, Up, Down, Left, Right };

// What _GetCSC reports for a key (skClear ...) and what _GetKey returns
// (kClear ...).
std::uint8_t scanCode(Key key);
std::uint8_t keyCode(Key key);

inline constexpr std::uint8_t ScanClear = 0x0F;
inline constexpr std::uint8_t KeyEnter = 0x05;

// One picture shown with _GrBufCpy, and when.
struct ShownScreen {
    Screen pixels{};
    std::uint64_t tstates = 0;         // emulated time when the copy was done
    std::uint64_t programTStates = 0;  // program T-states run before the copy
    std::uint64_t halts = 0;           // halts ended before the copy
};

enum class Stop {
    Returned,         // back at the caller with the stack as it was
    ReachedAddress,   // runUntil's address
    Fault,            // see fault()
    BudgetExhausted,  // the step budget ran out first
    WaitingForKey,    // in _GetKey with no key pressed: see press()
    TimeReached,      // runUntilTime's time
    ScreenShown,      // runToNextScreen's screen
};

// A TI-83 Plus as far as an assembly program run from the home screen sees
// it: RAM filled with a fixed pattern, ROM read-only, the OS present only
// as the system calls below and its timer interrupt. Emulated time runs in
// 6 MHz T-states; the OS calls cost what they take on the calculator (see
// Timing.h). Anything a well-behaved program must not do, and showing no
// frame for ten emulated seconds, stops the run with a fault.
class Calculator {
public:
    Calculator();
    ~Calculator();
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    // Raw bytes into memory, bypassing every check.
    void load(std::uint16_t address, std::span<const std::uint8_t> bytes);
    // The program bytes of a .8xp file at 9D93h; they become writable.
    // False with a reason when the file is not a readable program file.
    bool loadProgramFile(const std::vector<std::uint8_t>& file, std::string* error = nullptr);
    // Program bytes (starting with BB 6D) at 9D93h; they become writable.
    void loadProgram(std::span<const std::uint8_t> bytes);

    // Registers as Asm( leaves them: PC 9D95h, IY flags, IM 1, interrupts
    // on, the sentinel return address pushed. A shell may enter elsewhere.
    void start(std::uint16_t entry = ProgramStart);

    // One instruction, system call or interrupt; the T-states it took (a
    // halt includes its wait for the timer).
    std::uint64_t step();
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

    // A key pressed now: the next _GetCSC or _GetKey takes it.
    void press(Key key);
    // The key is pressed as the `screens`-th screen is shown.
    void pressAfterScreens(Key key, std::optional<std::size_t> screens);
    bool waitingForKey() const { return waitingForKey_; }
    bool returned() const { return returned_; }
    bool faulted() const { return !fault_.empty(); }

    std::uint8_t peek(std::uint16_t address) const { return memory_[address]; }
    Screen plotSScreen() const;
    const Screen& lcd() const { return lcd_; }
    // Counts every change of the LCD's contents by the OS.
    std::uint64_t lcdWrites() const { return lcdWrites_; }
    const std::vector<ShownScreen>& screens() const { return screens_; }
    // The screens shown since the last call; they leave screens().
    std::vector<ShownScreen> takeScreens();
    // Every screen ever shown, taken or not.
    std::size_t screenCount() const { return screenCount_; }
    const std::string& fault() const { return fault_; }
    std::uint16_t pc() const;
    std::uint16_t sp() const;

    // The program's state as far as a well-behaved program can depend on it
    // after a system call: PC, SP, the live stack, plotSScreen, the flags and
    // its own bytes once it has written them. Equal digests at two screens
    // mean the program repeats itself.
    std::uint64_t stateDigest() const;

    // Every system call made, in order.
    const std::vector<std::uint16_t>& systemCalls() const { return calls_; }
    std::size_t callCount(std::uint16_t address) const;
    std::uint64_t halts() const { return halts_; }
    std::uint64_t interrupts() const { return interrupts_; }
    std::uint64_t steps() const { return steps_; }
    // Emulated time since start(), in T-states.
    std::uint64_t tstates() const { return tstates_; }
    // T-states of the program's own instructions only.
    std::uint64_t programTStates() const { return programTStates_; }
    // Highest address an instruction was fetched from in RAM.
    std::uint16_t highestExecuted() const { return highestExecuted_; }
    // Highest address of the program's bytes read other than as an opcode
    // (operands and data); 0 when none.
    std::uint16_t highestDataRead() const { return highestDataRead_; }
    bool runIndicatorOn() const { return runIndicator_; }
    bool textShadowCleared() const { return textShadowCleared_; }
    bool cursorHome() const { return cursorHome_; }

    // The fixed pattern RAM starts with.
    static std::uint8_t fillPattern(std::uint16_t address);

private:
    static std::uint8_t readCallback(_z80_cpu_context* cpu, std::uint16_t address, int m1, void* self);
    static void writeCallback(_z80_cpu_context* cpu, std::uint16_t address, std::uint8_t value, void* self);
    static std::uint8_t portReadCallback(_z80_cpu_context* cpu, std::uint16_t port, void* self);
    static void portWriteCallback(_z80_cpu_context* cpu, std::uint16_t port, std::uint8_t value, void* self);
    static std::uint8_t interruptVectorCallback(_z80_cpu_context* cpu, void* self);

    bool stopped() const { return !fault_.empty() || returned_ || waitingForKey_; }
    void systemCall();
    void advanceTimer();
    void interrupt(bool halted);
    void setFault(const std::string& text);
    bool writeAllowed(std::uint16_t address, std::uint8_t value) const;
    void scrambleRegisters(bool keepA);
    void showScreen();

    _z80_cpu_context* cpu_ = nullptr;
    std::array<std::uint8_t, 65536> memory_{};
    std::uint32_t programEnd_ = ProgramOrigin;  // one past the program's bytes
    bool programWritten_ = false;
    Screen lcd_{};
    std::uint64_t lcdWrites_ = 0;
    std::vector<ShownScreen> screens_;
    std::size_t screenCount_ = 0;
    std::vector<std::uint16_t> calls_;
    std::optional<Key> pendingKey_;
    std::optional<std::pair<Key, std::size_t>> scriptedKey_;
    bool waitingForKey_ = false;
    std::string fault_;
    bool returned_ = false;
    std::uint64_t tstates_ = 0;
    std::uint64_t nextTick_ = TimerPeriodTStates;
    bool tickPending_ = false;
    std::uint64_t lastProgress_ = 0;  // when a screen was last shown or a key taken
    std::uint64_t halts_ = 0;
    std::uint64_t interrupts_ = 0;
    std::uint64_t steps_ = 0;
    std::uint64_t programTStates_ = 0;
    std::uint16_t highestExecuted_ = 0;
    std::uint16_t highestDataRead_ = 0;
    std::uint32_t scrambleSeed_ = 0x1234567;
    bool runIndicator_ = true;
    bool textShadowCleared_ = false;
    bool cursorHome_ = false;
};

std::string hex(unsigned value, int digits = 4);

}  // namespace zoetra::calc
