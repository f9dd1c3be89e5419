#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct _z80_cpu_context;

namespace z80test {

// TI-83 Plus addresses the harness knows.
inline constexpr std::uint16_t ProgramOrigin = 0x9D93;  // the two token bytes
inline constexpr std::uint16_t ProgramStart = 0x9D95;   // first executed byte
inline constexpr std::uint16_t PlotSScreen = 0x9340;
inline constexpr std::uint16_t ScreenBytes = 768;
inline constexpr std::uint16_t FlagsBase = 0x89F0;
inline constexpr std::uint16_t GraphFlags = FlagsBase + 3;  // bit 0: graphDraw
inline constexpr std::uint32_t ExecutionLimit = 0xC000;
inline constexpr std::uint16_t RamStart = 0x8000;
// The hardware stack: the caller's frame sits at the top.
inline constexpr std::uint16_t StackBottom = 0xFE70;
inline constexpr std::uint16_t CallerStackPointer = 0xFFF2;
// Where the "caller" continues when the program returns; in ROM, never run.
inline constexpr std::uint16_t ReturnSentinel = 0x3FFA;

// The system calls the harness emulates (rst 28h followed by the address).
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

inline constexpr std::uint8_t ScanClear = 0x0F;
inline constexpr std::uint8_t KeyEnter = 0x05;

using Screen = std::array<std::uint8_t, ScreenBytes>;

// One picture shown with _GrBufCpy, and when.
struct ShownScreen {
    Screen pixels{};
    std::uint64_t programTStates = 0;  // program T-states run before the copy
    std::uint64_t halts = 0;           // interrupts taken before the copy
};

enum class Stop {
    Returned,         // back at the caller with the stack as it was
    ReachedAddress,   // runUntil's address
    Fault,            // see fault()
    BudgetExhausted,  // the step budget ran out first
};

// A TI-83 Plus as far as an assembly program run from the home screen sees
// it: RAM filled with a fixed pattern, ROM read-only, the OS present only
// as the system calls below and a timer interrupt at every halt. Anything a
// well-behaved program must not do stops the run with a fault.
class Z80Harness {
public:
    Z80Harness();
    ~Z80Harness();
    Z80Harness(const Z80Harness&) = delete;
    Z80Harness& operator=(const Z80Harness&) = delete;

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

    // One instruction, system call or interrupt; the T-states it took.
    int step();
    // Steps until PC reaches `address` (or the program returns, or faults),
    // at most `stepBudget` steps.
    Stop runUntil(std::uint16_t address, std::uint64_t stepBudget);
    // Runs until the program returns to its caller.
    Stop run(std::uint64_t stepBudget);

    // _GetCSC reports CLEAR once this many screens have been shown.
    void setClearAfterScreens(std::optional<std::size_t> screens) { clearAfterScreens_ = screens; }
    void setGetKeyResult(std::uint8_t key) { getKeyResult_ = key; }

    std::uint8_t peek(std::uint16_t address) const { return memory_[address]; }
    Screen plotSScreen() const;
    const Screen& lcd() const { return lcd_; }
    const std::vector<ShownScreen>& screens() const { return screens_; }
    const std::string& fault() const { return fault_; }
    std::uint16_t pc() const;
    std::uint16_t sp() const;

    // Every system call made, in order.
    const std::vector<std::uint16_t>& systemCalls() const { return calls_; }
    std::size_t callCount(std::uint16_t address) const;
    std::uint64_t halts() const { return halts_; }
    std::uint64_t steps() const { return steps_; }
    // T-states of the program's own instructions; the emulated OS costs none.
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

    void systemCall();
    void interrupt();
    void setFault(const std::string& text);
    bool writeAllowed(std::uint16_t address, std::uint8_t value) const;
    void scrambleRegisters(bool keepA);

    _z80_cpu_context* cpu_ = nullptr;
    std::array<std::uint8_t, 65536> memory_{};
    std::uint32_t programEnd_ = ProgramOrigin;  // one past the program's bytes
    Screen lcd_{};
    std::vector<ShownScreen> screens_;
    std::vector<std::uint16_t> calls_;
    std::optional<std::size_t> clearAfterScreens_;
    std::uint8_t getKeyResult_ = KeyEnter;
    std::string fault_;
    bool returned_ = false;
    std::uint64_t halts_ = 0;
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

}  // namespace z80test
