#pragma once

#include "calc/Archive.h"
#include "calc/Hardware.h"
#include "calc/Lcd.h"
#include "calc/OsAddresses.h"
#include "calc/PagedMemory.h"
#include "calc/Screen.h"
#include "calc/Timing.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <bitset>
#include <string_view>
#include <string>
#include <vector>

struct _z80_cpu_context;

namespace zoetra::calc {

// Where a program from the home screen lives and what it may touch.
inline constexpr std::uint16_t ProgramOrigin = 0x9D93;  // the two token bytes
inline constexpr std::uint16_t ProgramStart = ram::UserMem;  // first executed byte
inline constexpr std::uint16_t PlotSScreen = ram::PlotSScreen;
inline constexpr std::uint16_t FlagsBase = ram::Flags;
inline constexpr std::uint16_t GraphFlags = FlagsBase + flag::GraphFlags;  // bit 0: graphDraw
inline constexpr std::uint32_t ExecutionLimit = 0xC000;
inline constexpr std::uint16_t RamStart = 0x8000;
// The hardware stack: the caller's frame sits at the top.
inline constexpr std::uint16_t StackBottom = 0xFE70;
inline constexpr std::uint16_t CallerStackPointer = 0xFFF2;
// Where the "caller" continues when the program returns; in ROM, never run.
inline constexpr std::uint16_t ReturnSentinel = 0x3FFA;
// The Flash page the OS leaves in bank A while a program runs.
inline constexpr int OsBankAPage = 0x01;

enum class Key { Enter, Clear, Up, Down, Left, Right };

// What _GetCSC reports for a key (skClear ...) and what _GetKey returns
// (kClear ...).
std::uint8_t scanCode(Key key);
std::uint8_t keyCode(Key key);

inline constexpr std::uint8_t ScanClear = 0x0F;
inline constexpr std::uint8_t KeyEnter = 0x05;

// One picture shown (with _GrBufCpy, or by the program writing the LCD:
// the whole screen, or a run of writes that rewrote part of it), and when.
struct ShownScreen {
    Screen pixels{};
    std::uint64_t tstates = 0;         // emulated time when the copy (or its last write) was done
    std::uint64_t programTStates = 0;  // program T-states run before it
    std::uint64_t halts = 0;           // halts ended before it
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

// Where a loaded AppVar was put, as _ChkFindSym reports it: the Flash page
// and the address of its entry's flag byte when archived, page 0 and the
// address of its size word in RAM; `vatEntry` is its entry in the VAT.
struct PlacedVariable {
    bool archived = false;
    int page = 0;
    std::uint16_t address = 0;
    std::uint16_t vatEntry = 0;
};

// How the program left the calculator when it returned (or stopped).
struct ExitState {
    std::uint16_t sp = 0;
    std::uint8_t port6 = 0;
    std::uint32_t cpuHz = 0;
};

// A TI-83 Plus family calculator as far as an assembly program run from the
// home screen sees it: Flash and RAM in pages behind ports 6 and 7, RAM
// filled with a fixed pattern, Flash read-only, the archive as the OS keeps
// it, the OS present only as the system calls below and its timer
// interrupt. Emulated time is counted in 6 MHz T-states at either CPU
// speed; the OS calls cost what they take on the calculator (see Timing.h).
// Anything a well-behaved program must not do, and showing no frame for
// ten emulated seconds, stops the run with a fault.
class Calculator {
public:
    explicit Calculator(CalculatorModel model = CalculatorModel::Ti83Plus);
    ~Calculator();
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    CalculatorModel model() const { return hardware_.model; }

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
    FlashAddress nextArchiveEntry() const { return archive_.next(); }
    bool padArchiveTo(FlashAddress at, std::string* error = nullptr);

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

    // A key pressed now: the next _GetCSC or _GetKey takes it, and the
    // keypad port shows it held for a tenth of a second.
    void press(Key key);
    // The key is pressed as the `screens`-th screen is shown.
    void pressAfterScreens(Key key, std::optional<std::size_t> screens);
    bool waitingForKey() const { return waitingForKey_; }
    bool returned() const { return returned_; }
    bool faulted() const { return !fault_.empty(); }

    // A byte as the program would read it now.
    std::uint8_t peek(std::uint16_t address) const { return memory_.read(address); }
    std::uint8_t peekFlash(FlashAddress at) const { return memory_.flash()[at.linear()]; }
    Screen plotSScreen() const;
    const Screen& lcd() const { return lcd_.screen(); }
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
    std::uint8_t port6() const { return port6_; }
    std::uint8_t port7() const { return port7_; }
    std::uint32_t cpuHz() const;
    // The CPU's interrupt mode (the OS runs in IM 1).
    int interruptMode() const;
    ExitState exitState() const { return {sp(), port6_, cpuHz()}; }
    // The home screen's text as the OS keeps it (textShadow): 8 rows of 16
    // characters, spaces where nothing was printed.
    std::vector<std::string> homeScreen() const;
    // Every character printed, in order, a new line as '\n'.
    const std::string& printed() const { return printed_; }
    bool apdEnabled() const;

    // The program's state as far as a well-behaved program can depend on it
    // after a system call: registers and ports, the live stack and what the
    // program itself left below SP, plotSScreen, the flags, the RAM opened to
    // it, the LCD, and its own bytes once it has written them. Equal digests
    // at two screens mean the program repeats itself.
    std::uint64_t stateDigest() const;

    // Every system call made, in order.
    const std::vector<std::uint16_t>& systemCalls() const { return calls_; }
    std::size_t callCount(std::uint16_t address) const;
    std::uint64_t halts() const { return halts_; }
    std::uint64_t interrupts() const { return interrupts_; }
    std::uint64_t steps() const { return steps_; }
    // Emulated time since the calculator was made, in 6 MHz T-states.
    std::uint64_t tstates() const { return clock_ / ClockPerTState; }
    // T-states of the program's own instructions only, at the CPU's speed.
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
    bool osCall(std::uint16_t address, std::uint64_t& cost);
    void advanceTimer();
    void interrupt(bool halted);
    bool osHandler();
    void setFault(const std::string& text);
    bool writeAllowed(std::uint16_t address, std::uint8_t value) const;
    void scrambleRegisters();
    void showScreen(const Screen& pixels);  // stamped now
    void showScreen(const ShownScreen& shown);
    // A run of LCD writes that rewrote part of the screen: its picture once
    // the LCD has been left alone long enough (`force`: now, as the program
    // stops or waits), stamped when its last byte was written.
    void endLcdRun(bool force);
    void addTime(std::uint64_t cpuTStates) { clock_ += cpuTStates * clockPerTState_; }
    void addLcdTime(std::uint64_t tstates6MHz) { clock_ += tstates6MHz * ClockPerTState; }
    std::uint8_t portRead(std::uint8_t port);
    bool lcdAccess();
    void portWrite(std::uint8_t port, std::uint8_t value);
    void mapBank(int bank, std::uint8_t value);
    std::uint8_t pageValue(std::uint8_t value) const;
    // OS-side access to RAM a system call is handed a pointer to: the
    // program's own mapping must not put it in bank A.
    bool osPointer(std::uint16_t address, std::size_t bytes, const char* call);
    void putCharacter(std::uint8_t character);
    void newLine();
    bool findSymbol(std::uint16_t call);
    bool pagedRead(std::uint16_t call);
    bool flashToRam();

    const Hardware& hardware_;
    _z80_cpu_context* cpu_ = nullptr;
    PagedMemory memory_;
    Archive archive_;
    std::uint32_t programEnd_ = ProgramOrigin;  // one past the program's bytes
    std::uint32_t ramVarsEnd_ = ProgramOrigin;  // one past the AppVars in RAM
    std::uint16_t vatBottom_ = ram::SymTable;   // one below the last VAT entry
    bool programWritten_ = false;
    // Stack bytes last written other than by a push (of an instruction or
    // the timer interrupt): below SP, only these can be state, since pushes
    // leave return addresses at any moment and no program reads them there.
    std::bitset<CallerStackPointer - StackBottom> storedBelowSp_;
    std::uint16_t spAtStep_ = CallerStackPointer;
    std::uint8_t port6_ = OsBankAPage;
    std::uint8_t port7_ = 0;
    std::uint8_t port4_ = 0x06;   // the OS timer's slowest rate
    std::uint8_t port20_ = 0;     // CPU speed: 0 = 6 MHz
    std::uint8_t keyGroups_ = 0xFF;
    std::uint64_t clockPerTState_ = ClockPerTState;
    std::uint64_t timerPeriod_;
    Lcd lcd_;
    std::uint64_t lcdWrites_ = 0;
    std::vector<ShownScreen> screens_;
    std::size_t screenCount_ = 0;
    std::vector<std::uint16_t> calls_;
    std::optional<Key> pendingKey_;
    std::optional<Key> heldKey_;
    std::uint64_t keyReleasedAt_ = 0;
    std::optional<std::pair<Key, std::size_t>> scriptedKey_;
    bool waitingForKey_ = false;
    std::string fault_;
    bool returned_ = false;
    std::uint64_t clock_ = 0;  // ClockHz steps
    std::uint64_t nextTick_;
    bool tickPending_ = false;
    bool interruptDeferred_ = false;
    bool lastScreenByLcd_ = false;
    std::optional<std::uint64_t> lastLcdAccess_;
    std::optional<ShownScreen> lcdRun_;  // written, not yet a picture: its stamps
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
    std::string printed_;
};

std::string hex(unsigned value, int digits = 4);

}  // namespace zoetra::calc
