#pragma once

#include "calc/HardwareReadings.h"
#include "calc/OsAddresses.h"
#include "calc/PagedMemory.h"
#include "calc/Screen.h"
#include "calc/Timing.h"
#include "calc/ports/CrystalTimers.h"
#include "calc/ports/Keypad.h"
#include "calc/ports/Lcd.h"
#include "calc/ports/LinkPort.h"
#include "calc/ports/ModelPorts.h"
#include "calc/ports/OsTimer.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
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
inline constexpr std::uint16_t BankA = 0x4000;
inline constexpr std::uint16_t BankB = 0x8000;

// One picture shown (with _GrBufCpy, or by the program writing the LCD:
// the whole screen, or a run of writes that rewrote part of it), and when.
struct ShownScreen {
    Screen pixels{};
    std::uint64_t tstates = 0;         // emulated time when the copy (or its last write) was done
    std::uint64_t programTStates = 0;  // program T-states run before it
    std::uint64_t halts = 0;           // halts ended before it
};

// How the program left the calculator when it returned (or stopped).
struct ExitState {
    std::uint16_t sp = 0;
    std::uint8_t port6 = 0;
    std::uint32_t cpuHz = 0;
};

// The Z80's registers, in libz80ex's order.
enum class Reg { AF, BC, DE, HL, AF_, BC_, DE_, HL_, IX, IY, PC, SP, I, R, R7, IM, IFF1, IFF2 };

// The OS's code in Flash page 0, which the machine does not hold: what
// happens when the program gets there.
class OsEntry {
public:
    enum class Entered {
        Ran,      // the OS did this step's work
        Execute,  // the instruction there runs as it stands
        None,     // no entry point of the OS
    };
    virtual Entered enter(std::uint16_t address) = 0;

protected:
    ~OsEntry() = default;
};

// The calculator's hardware as a program drives it: the Z80 (libz80ex) on
// Flash and RAM in pages, the rules of what a program may touch, the ports
// and their devices, the OS's timer interrupt, emulated time. Time is
// counted in ClockHz steps, so both CPU speeds keep whole steps. The OS is
// met where the program reaches Flash page 0 (see OsEntry). A run stops for
// good at a fault, and comes to rest where the program returns or waits
// for a key; showing no frame for ten emulated seconds is a fault. An
// interrupt taken again while its source was never acknowledged would come
// forever: it is a fault too. Facts the documents leave open are taken as
// `readings` say.
class Machine {
public:
    explicit Machine(CalculatorModel model, const HardwareReadings& readings = {});
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    void attach(OsEntry& os) { os_ = &os; }
    const ModelPorts& hardware() const { return hardware_; }
    const HardwareReadings& readings() const { return readings_; }

    // Memory. Raw bytes into memory as it is mapped now, bypassing every
    // check; the program's bytes at 9D93h become writable.
    void load(std::uint16_t address, std::span<const std::uint8_t> bytes);
    void loadProgram(std::span<const std::uint8_t> bytes);
    std::uint32_t programEnd() const { return programEnd_; }  // one past the program's bytes
    void programWrittenAt(std::uint32_t address)
    {
        if (address >= ProgramOrigin && address < programEnd_) {
            programWritten_ = true;
        }
    }
    PagedMemory& memory() { return memory_; }
    const PagedMemory& memory() const { return memory_; }
    // May the program write `value` at `address` (as the OS maps RAM)?
    bool writeAllowed(std::uint16_t address, std::uint8_t value) const;
    Screen plotSScreen() const;
    std::uint8_t port6() const { return port6_; }
    std::uint8_t port7() const { return port7_; }

    // The CPU.
    std::uint16_t reg(Reg reg) const;
    void setReg(Reg reg, std::uint16_t value);
    std::uint16_t pc() const { return reg(Reg::PC); }
    std::uint16_t sp() const { return reg(Reg::SP); }
    std::uint32_t cpuHz() const;
    void resetCpu();
    // The registers an OS routine leaves changed, from a fixed sequence.
    void scrambleRegisters();
    std::uint32_t nextScramble() { return scrambleSeed_ = scrambleSeed_ * 1103515245u + 12345u; }

    // Time.
    std::uint64_t clock() const { return clock_; }
    std::uint64_t tstates() const { return clock_ / ClockPerTState; }
    void addTime(std::uint64_t cpuTStates) { clock_ += cpuTStates * clockPerTState_; }
    void addLcdTime(std::uint64_t tstates6MHz) { clock_ += tstates6MHz * ClockPerTState; }
    // Waiting for a key, the time passes idle until `clock` (ClockHz steps).
    void idleUntil(std::uint64_t clock);

    // One instruction, OS entry or interrupt; the T-states it took (a halt
    // includes its wait for the timer).
    std::uint64_t step();
    bool stopped() const { return !fault_.empty() || returned_ || waitingForKey_; }
    // The run goes on from here (the program was just entered).
    void resume();
    const std::string& fault() const { return fault_; }
    void setFault(const std::string& text);
    bool returned() const { return returned_; }
    bool waitingForKey() const { return waitingForKey_; }
    void waitForKey() { waitingForKey_ = true; }
    // The program went on (a key was taken): its frame timeout starts again.
    void progressed() { lastProgress_ = clock_; }

    // The OS's interrupt handler has run: it acknowledges its timer (and,
    // by one reading, the crystal timers).
    void osHandlerRan();

    // The link port's lines: which are held low now, and their changes
    // since the last call (clocks in ClockHz steps).
    std::uint8_t linesHeld() const { return link_.held(); }
    std::vector<LineEdge> takeLineEdges() { return link_.takeEdges(); }

    Keypad& keypad() { return keypad_; }
    void press(Key key);
    void pressAfterScreens(Key key, std::optional<std::size_t> screens);

    // The screen. The OS's copies: the whole picture written and shown, or
    // the LCD cleared.
    void showOsCopy(const Screen& screen);
    void clearLcd();
    const Screen& lcd() const { return lcd_.screen(); }
    std::uint64_t lcdWrites() const { return lcdWrites_; }
    const std::vector<ShownScreen>& screens() const { return screens_; }
    std::vector<ShownScreen> takeScreens();
    std::size_t screenCount() const { return screenCount_; }

    // Probes.
    std::uint64_t halts() const { return halts_; }
    std::uint64_t interrupts() const { return interrupts_; }
    std::uint64_t steps() const { return steps_; }
    std::uint64_t programTStates() const { return programTStates_; }
    std::uint16_t highestExecuted() const { return highestExecuted_; }
    std::uint16_t highestDataRead() const { return highestDataRead_; }
    ExitState exitState() const { return {sp(), port6_, cpuHz()}; }
    std::uint64_t stateDigest() const;

    // The fixed pattern RAM starts with.
    static std::uint8_t fillPattern(std::uint16_t address);

private:
    static std::uint8_t readCallback(_z80_cpu_context* cpu, std::uint16_t address, int m1, void* self);
    static void writeCallback(_z80_cpu_context* cpu, std::uint16_t address, std::uint8_t value, void* self);
    static std::uint8_t portReadCallback(_z80_cpu_context* cpu, std::uint16_t port, void* self);
    static void portWriteCallback(_z80_cpu_context* cpu, std::uint16_t port, std::uint8_t value, void* self);
    static std::uint8_t interruptVectorCallback(_z80_cpu_context* cpu, void* self);

    void execute(std::uint16_t at, bool& halted);
    // The sources that would interrupt now (bit 7 the OS's timer, bits 0-2
    // the crystal timers); halted, as the readings let them end a halt.
    std::uint8_t interruptSources(bool halted) const;
    void advanceTimers();
    void interrupt(bool halted);
    // Why the program may not return to its caller as it leaves the
    // hardware, or empty.
    std::string exitProblem() const;
    void showScreen(const ShownScreen& shown);
    // A run of LCD writes that rewrote part of the screen: its picture once
    // the LCD has been left alone long enough (`force`: now, as the program
    // stops or waits), stamped when its last byte was written.
    void endLcdRun(bool force);

    // The ports (MachinePorts.cpp).
    std::uint8_t in(std::uint8_t port);
    void out(std::uint8_t port, std::uint8_t value);
    bool lcdAccess();
    // The emulated time of the port access under way.
    std::uint64_t portTime() const;
    bool crystalPort(std::uint8_t port, const char* access);
    void acknowledgeOsTimer();
    void mapBank(int bank, std::uint8_t value);
    std::uint8_t pageValue(std::uint8_t value) const;

    const ModelPorts& hardware_;
    const HardwareReadings readings_;
    OsEntry* os_ = nullptr;
    _z80_cpu_context* cpu_ = nullptr;
    PagedMemory memory_;
    std::uint32_t programEnd_ = ProgramOrigin;
    bool programWritten_ = false;
    // Stack bytes last written other than by a push (of an instruction or
    // the timer interrupt): below SP, only these can be state, since pushes
    // leave return addresses at any moment and no program reads them there.
    std::bitset<CallerStackPointer - StackBottom> storedBelowSp_;
    std::uint16_t spAtStep_ = CallerStackPointer;

    // Port devices and registers.
    LinkPort link_;                  // 00h (08h)
    Keypad keypad_;                  // 01h
    std::uint8_t port3_ = 0x0B;      // interrupt mask: ON key, timer, no low power on halt
    OsTimer timer_;                  // 04h
    std::uint8_t port6_ = OsBankAPage;  // 06h
    std::uint8_t port7_ = 0;            // 07h
    Lcd lcd_;                        // 10h, 11h
    std::uint8_t port20_ = 0;        // CPU speed: 0 = 6 MHz
    std::uint64_t clockPerTState_ = ClockPerTState;
    CrystalTimers crystal_;          // 30h-38h, where the model has the crystal
    // Sources an interrupt was taken for and not acknowledged since (as
    // interruptSources).
    std::uint8_t taken_ = 0;
    std::uint32_t busSeed_ = 0x2545F491;  // the data bus's byte, by one reading

    std::optional<std::uint64_t> lastLcdAccess_;
    std::optional<ShownScreen> lcdRun_;  // written, not yet a picture: its stamps
    bool lastScreenByLcd_ = false;
    std::uint64_t lcdWrites_ = 0;
    std::vector<ShownScreen> screens_;
    std::size_t screenCount_ = 0;
    std::optional<std::pair<Key, std::size_t>> scriptedKey_;

    std::string fault_;
    bool returned_ = false;
    bool waitingForKey_ = false;
    std::uint64_t clock_ = 0;  // ClockHz steps
    bool interruptDeferred_ = false;
    std::uint64_t lastProgress_ = 0;  // when a screen was last shown or a key taken
    std::uint64_t halts_ = 0;
    std::uint64_t interrupts_ = 0;
    std::uint64_t steps_ = 0;
    std::uint64_t programTStates_ = 0;
    std::uint16_t highestExecuted_ = 0;
    std::uint16_t highestDataRead_ = 0;
    std::uint32_t scrambleSeed_ = 0x1234567;
};

std::string hex(unsigned value, int digits = 4);

}  // namespace zoetra::calc
