#include "calc/Machine.h"

#include <z80ex/z80ex.h>

#include <algorithm>
#include <cstdio>

namespace zoetra::calc {

namespace {

constexpr std::uint64_t FrameTimeoutClock = FrameTimeoutSeconds * ClockHz;

static_assert(static_cast<int>(Reg::AF) == regAF && static_cast<int>(Reg::IX) == regIX &&
              static_cast<int>(Reg::SP) == regSP && static_cast<int>(Reg::IFF2) == regIFF2);

Z80_REG_T z80(Reg reg)
{
    return static_cast<Z80_REG_T>(reg);
}

bool inside(std::uint32_t address, std::uint32_t from, std::uint32_t bytes)
{
    return address >= from && address < from + bytes;
}

}  // namespace

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*Xh", digits, value);
    return text;
}

std::uint8_t Machine::fillPattern(std::uint16_t address)
{
    return static_cast<std::uint8_t>(((address ^ (address >> 8)) * 37 + 0x5B) & 0xFF);
}

Machine::Machine(CalculatorModel model, const HardwareReadings& readings)
    : hardware_(modelPorts(model)),
      readings_(readings),
      memory_(hardware_.facts().flashPages, hardware_.facts().ramPages),
      link_(hardware_.facts().linkAssist == LinkAssist::Port00h, readings_),
      timer_(hardware_.facts()),
      crystal_(readings_)
{
    for (std::uint32_t a = RamStart; a < 0x10000; ++a) {
        memory_.ram(a) = fillPattern(static_cast<std::uint16_t>(a));
    }
    // Flash page 0 holds the OS's entry points, which the OS fills in.
    std::fill_n(memory_.flash().begin(), PagedMemory::PageBytes, 0);
    mapBank(1, static_cast<std::uint8_t>(OsBankAPage));
    mapBank(2, hardware_.port7Default());
    cpu_ = z80ex_create(&Machine::readCallback, this, &Machine::writeCallback, this, &Machine::portReadCallback, this,
                        &Machine::portWriteCallback, this, &Machine::interruptVectorCallback, this);
}

Machine::~Machine()
{
    z80ex_destroy(cpu_);
}

void Machine::load(std::uint16_t address, std::span<const std::uint8_t> bytes)
{
    for (std::size_t i = 0; i < bytes.size() && address + i < 0x10000; ++i) {
        memory_.at(static_cast<std::uint16_t>(address + i)) = bytes[i];
    }
}

void Machine::loadProgram(std::span<const std::uint8_t> bytes)
{
    load(ProgramOrigin, bytes);
    programEnd_ = std::min<std::uint32_t>(ProgramOrigin + static_cast<std::uint32_t>(bytes.size()), StackBottom);
}

std::uint16_t Machine::reg(Reg reg) const
{
    return z80ex_get_reg(cpu_, z80(reg));
}

void Machine::setReg(Reg reg, std::uint16_t value)
{
    z80ex_set_reg(cpu_, z80(reg), value);
}

void Machine::resetCpu()
{
    z80ex_reset(cpu_);
}

std::uint32_t Machine::cpuHz() const
{
    return port20_ == 0 ? hardware_.facts().slowCpuHz : hardware_.facts().fastCpuHz;
}

void Machine::scrambleRegisters()
{
    for (const Reg reg : {Reg::AF, Reg::BC, Reg::DE, Reg::HL, Reg::IX, Reg::AF_, Reg::BC_, Reg::DE_, Reg::HL_}) {
        setReg(reg, static_cast<std::uint16_t>(nextScramble() >> 8));
    }
}

Screen Machine::plotSScreen() const
{
    Screen screen{};
    for (std::size_t i = 0; i < ScreenBytes; ++i) {
        screen[i] = memory_.ram(PlotSScreen + static_cast<std::uint32_t>(i));
    }
    return screen;
}

void Machine::setFault(const std::string& text)
{
    if (fault_.empty()) {
        fault_ = text + " (PC " + hex(pc()) + ", after " + std::to_string(steps_) + " steps)";
    }
}

void Machine::resume()
{
    fault_.clear();
    returned_ = false;
    waitingForKey_ = false;
    lastProgress_ = clock_;
}

void Machine::idleUntil(std::uint64_t clock)
{
    clock_ = clock;
    timer_.passedTo(clock_);
    crystal_.advance(clock_);
    lastProgress_ = clock_;
}

void Machine::press(Key key)
{
    keypad_.press(key, clock_);
    if (waitingForKey_) {
        // _GetKey is retried with the key; the wait was no hang.
        waitingForKey_ = false;
        lastProgress_ = clock_;
    }
}

void Machine::pressAfterScreens(Key key, std::optional<std::size_t> screens)
{
    scriptedKey_.reset();
    if (!screens) {
        return;
    }
    if (screenCount_ >= *screens) {
        press(key);
    } else {
        scriptedKey_ = std::make_pair(key, *screens);
    }
}

std::uint64_t Machine::step()
{
    if (stopped()) {
        return 0;
    }
    ++steps_;
    const std::uint64_t before = clock_;
    const std::uint16_t at = pc();
    const std::size_t screensBefore = screenCount_;
    bool halted = false;
    if (interruptDeferred_) {
        // The tick that came as the last screen was shown.
        interruptDeferred_ = false;
        if (interruptSources(false) != 0 && z80ex_int_possible(cpu_) != 0) {
            interrupt(false);
        }
        return (clock_ - before) / ClockPerTState;
    }
    if (at < BankA) {
        switch (os_->enter(at)) {
        case OsEntry::Entered::Ran:
            break;
        case OsEntry::Entered::Execute:
            execute(at, halted);
            break;
        case OsEntry::Entered::None:
            setFault("execution in ROM outside the system calls");
            break;
        }
    } else {
        execute(at, halted);
    }
    // Back at the caller, the OS takes over before any interrupt.
    if (fault_.empty() && pc() == ReturnSentinel) {
        if (sp() != CallerStackPointer) {
            setFault("returned to the caller with SP " + hex(sp()) + " instead of " + hex(CallerStackPointer));
        } else if (const std::string problem = exitProblem(); !problem.empty()) {
            setFault(problem);
        } else {
            returned_ = true;
            endLcdRun(true);
        }
    }
    if (fault_.empty()) {
        endLcdRun(waitingForKey_);
    }
    if (fault_.empty() && !waitingForKey_ && !returned_) {
        if (halted) {
            if (z80ex_get_reg(cpu_, regIFF1) == 0) {
                setFault("halt with interrupts disabled never ends");
            } else if ((port3_ & 0x08) == 0) {
                setFault("halt in low-power mode (port 03h bit 3 clear), which is not emulated");
            } else if (interruptSources(true) == 0) {
                // The CPU sleeps until the next interrupt that ends a halt.
                std::optional<std::uint64_t> wake;
                if (timer_.enabled()) {
                    wake = timer_.nextTick();
                }
                const std::optional<std::uint64_t> crystal = crystal_.nextInterrupt();
                if (crystal && readings_.haltAndCrystal == HardwareReadings::HaltAndCrystal::Wakes) {
                    wake = wake ? std::min(*wake, *crystal) : *crystal;
                }
                if (!wake) {
                    setFault("halt with no interrupt to end it (the timer is off in port 03h)");
                } else {
                    clock_ = std::max(clock_, *wake);
                }
            }
        }
        advanceTimers();
        if (fault_.empty() && interruptSources(halted) != 0 && z80ex_int_possible(cpu_) != 0) {
            // A screen's step ends with the call, so that the program's state
            // at each screen is taken at the same point of its code.
            if (screenCount_ != screensBefore) {
                interruptDeferred_ = true;
            } else {
                interrupt(halted);
            }
        }
    }
    if (!stopped() && clock_ - lastProgress_ > FrameTimeoutClock) {
        setFault(screenCount_ == 0 ? "no frame shown within " + std::to_string(FrameTimeoutSeconds) + " seconds"
                                   : "no new frame for " + std::to_string(FrameTimeoutSeconds) +
                                         " seconds after frame " + std::to_string(screenCount_));
    }
    return (clock_ - before) / ClockPerTState;
}

void Machine::execute(std::uint16_t at, bool& halted)
{
    spAtStep_ = sp();
    const auto tstates = static_cast<std::uint64_t>(z80ex_step(cpu_));
    addTime(tstates);
    if (at >= BankA) {
        programTStates_ += tstates;
    }
    halted = fault_.empty() && z80ex_doing_halt(cpu_) != 0;
}

namespace {

constexpr std::uint8_t OsTimerSource = 0x80;

}  // namespace

std::uint8_t Machine::interruptSources(bool halted) const
{
    std::uint8_t sources = timer_.pending() ? OsTimerSource : 0;
    if (!(halted && readings_.haltAndCrystal == HardwareReadings::HaltAndCrystal::Held)) {
        sources |= crystal_.pending();
    }
    return sources;
}

void Machine::advanceTimers()
{
    timer_.advance(clock_);
    crystal_.advance(clock_);
}

void Machine::interrupt(bool halted)
{
    const std::uint8_t sources = interruptSources(halted);
    if (const std::uint8_t again = sources & taken_; again != 0) {
        // Nothing acknowledged it: it would come again after every return.
        if ((again & OsTimerSource) != 0) {
            setFault("the timer interrupt came again without being acknowledged (through port 03h or 02h, or by "
                     "the OS's handler at 0038h), so it would never end");
        } else {
            const int timer = (again & 1) != 0 ? 0 : (again & 2) != 0 ? 1 : 2;
            setFault("crystal timer " + std::to_string(timer + 1) + "'s interrupt came again without being "
                     "acknowledged (a write to its loop port " + hex(static_cast<unsigned>(0x31 + 3 * timer), 2) +
                     "), so it would never end");
        }
        return;
    }
    spAtStep_ = sp();
    const int tstates = z80ex_int(cpu_);
    if (tstates > 0) {
        addTime(static_cast<std::uint64_t>(tstates));
        taken_ |= sources;
        ++interrupts_;
        if (halted) {
            ++halts_;
        }
    }
}

void Machine::acknowledgeOsTimer()
{
    timer_.acknowledge();
    taken_ &= static_cast<std::uint8_t>(~OsTimerSource);
}

void Machine::osHandlerRan()
{
    acknowledgeOsTimer();
    if (readings_.osHandlerAndCrystal == HardwareReadings::OsHandlerAndCrystal::Acknowledges) {
        for (int timer = 0; timer < 3; ++timer) {
            crystal_.acknowledge(timer);
        }
        taken_ &= OsTimerSource;
    }
}

std::string Machine::exitProblem() const
{
    static constexpr const char* Lines[] = {"", "tip line", "ring line", "tip and ring lines"};
    if (link_.held() != 0) {
        return std::string("returned with the link port's ") + Lines[link_.held()] +
               " pulled low (port 00h bits 0-1 left set)";
    }
    if (const std::uint8_t timers = crystal_.interrupting(); timers != 0) {
        const int timer = (timers & 1) != 0 ? 0 : (timers & 2) != 0 ? 1 : 2;
        return "returned with crystal timer " + std::to_string(timer + 1) + " still interrupting (its ports " +
               hex(static_cast<unsigned>(0x30 + 3 * timer), 2) + " and " +
               hex(static_cast<unsigned>(0x31 + 3 * timer), 2) + " not set back to 0)";
    }
    if (!timer_.enabled()) {
        return "returned with the timer interrupt off in port 03h";
    }
    return {};
}

void Machine::showOsCopy(const Screen& screen)
{
    lcd_.fill(screen);
    lastLcdAccess_ = clock_;
    showScreen(ShownScreen{lcd_.screen(), tstates(), programTStates_, halts_});
    lastScreenByLcd_ = false;
}

void Machine::clearLcd()
{
    lcd_.fill(Screen{});
    lastLcdAccess_ = clock_;
    lcdRun_.reset();
    ++lcdWrites_;
}

void Machine::showScreen(const ShownScreen& shown)
{
    ++lcdWrites_;
    lcdRun_.reset();
    screens_.push_back(shown);
    ++screenCount_;
    lastProgress_ = clock_;
    if (scriptedKey_ && screenCount_ >= scriptedKey_->second) {
        press(scriptedKey_->first);
        scriptedKey_.reset();
    }
}

void Machine::endLcdRun(bool force)
{
    constexpr std::uint64_t quiet = LcdRunEndMicroseconds * ClockHz / 1'000'000;
    if (!lcdRun_ || !(force || clock_ - *lastLcdAccess_ >= quiet)) {
        return;
    }
    ShownScreen shown = *lcdRun_;
    shown.pixels = lcd_.screen();
    lcd_.takePartialPicture();
    showScreen(shown);
    lastScreenByLcd_ = true;
}

std::vector<ShownScreen> Machine::takeScreens()
{
    std::vector<ShownScreen> taken;
    taken.swap(screens_);
    return taken;
}

bool Machine::writeAllowed(std::uint16_t address, std::uint8_t value) const
{
    if (inside(address, PlotSScreen, ScreenBytes) || inside(address, ram::SaveSScreen, ScreenBytes) ||
        inside(address, ram::AppBackUpScreen, ScreenBytes) || inside(address, ram::StatVars, ram::StatVarsBytes) ||
        inside(address, ram::Op1, ram::OpRegisterBytes) || inside(address, ram::TextShadow, ram::TextShadowBytes) ||
        address == ram::CurRow || address == ram::CurCol) {
        return true;
    }
    if (address >= ProgramOrigin && address < programEnd_) {
        return true;
    }
    // Below the caller's return address, which the program must not touch.
    if (address >= StackBottom && address < CallerStackPointer - 2) {
        return true;
    }
    // Setting graphDraw tells the OS that plotSScreen no longer holds its graph.
    return address == GraphFlags && value == (memory_.ram(GraphFlags) | 0x01);
}

std::uint8_t Machine::readCallback(_z80_cpu_context*, std::uint16_t address, int m1, void* self)
{
    auto* c = static_cast<Machine*>(self);
    const PagedMemory::Bank& bank = c->memory_.bank(address);
    if (m1 != 0 && address >= BankA) {
        if (bank.flash) {
            c->setFault("instruction fetched at " + hex(address) + ", in Flash page " +
                        hex(static_cast<unsigned>(bank.page), 2) + (address < BankB ? " in bank A" : " in bank B"));
        } else if (address >= ExecutionLimit) {
            c->setFault("instruction fetched at " + hex(address) + ", at or above C000h");
        }
        if (address >= RamStart) {
            c->highestExecuted_ = std::max(c->highestExecuted_, address);
        }
    } else if (m1 == 0 && address >= ProgramOrigin && address < c->programEnd_) {
        c->highestDataRead_ = std::max(c->highestDataRead_, address);
    }
    return bank.bytes[address & 0x3FFF];
}

void Machine::writeCallback(_z80_cpu_context*, std::uint16_t address, std::uint8_t value, void* self)
{
    auto* c = static_cast<Machine*>(self);
    const PagedMemory::Bank& bank = c->memory_.bank(address);
    if (bank.flash) {
        c->setFault("write of " + hex(value, 2) + " to " + hex(address) + ", in Flash page " +
                    hex(static_cast<unsigned>(bank.page), 2));
        return;
    }
    const std::uint32_t osAddress = PagedMemory::osAddress(bank.page, address & 0x3FFF);
    if (osAddress == 0 || !c->writeAllowed(static_cast<std::uint16_t>(osAddress), value)) {
        c->setFault("write of " + hex(value, 2) + " to " + hex(address) +
                    (osAddress == 0 ? ", in RAM page " + hex(static_cast<unsigned>(bank.page), 2) + " that the OS keeps"
                                    : ", outside plotSScreen, the stack, the program and the RAM opened to it"));
        return;
    }
    c->programWrittenAt(osAddress);
    if (osAddress >= StackBottom && osAddress < CallerStackPointer) {
        const bool pushed = address == static_cast<std::uint16_t>(c->spAtStep_ - 1) ||
                            address == static_cast<std::uint16_t>(c->spAtStep_ - 2);
        c->storedBelowSp_[osAddress - StackBottom] = !pushed;
    }
    c->memory_.ram(osAddress) = value;
}

std::uint8_t Machine::portReadCallback(_z80_cpu_context*, std::uint16_t port, void* self)
{
    return static_cast<Machine*>(self)->in(static_cast<std::uint8_t>(port & 0xFF));
}

void Machine::portWriteCallback(_z80_cpu_context*, std::uint16_t port, std::uint8_t value, void* self)
{
    static_cast<Machine*>(self)->out(static_cast<std::uint8_t>(port & 0xFF), value);
}

std::uint8_t Machine::interruptVectorCallback(_z80_cpu_context*, void* self)
{
    auto* c = static_cast<Machine*>(self);
    if (c->readings_.vectorByte == HardwareReadings::VectorByte::AlwaysFF) {
        return 0xFF;
    }
    // Any byte: a fixed sequence, so that runs repeat.
    c->busSeed_ ^= c->busSeed_ << 13;
    c->busSeed_ ^= c->busSeed_ >> 17;
    c->busSeed_ ^= c->busSeed_ << 5;
    return static_cast<std::uint8_t>(c->busSeed_ >> 24);
}

// The state a well-behaved program can depend on after a system call:
// registers and ports, the live stack and what the program itself left
// below SP, plotSScreen, the flags, the RAM opened to it, the LCD, and its
// own bytes once it has written them.
std::uint64_t Machine::stateDigest() const
{
    std::uint64_t digest = 0xCBF29CE484222325ull;
    const auto add = [&digest](std::uint8_t byte) {
        digest = (digest ^ byte) * 0x100000001B3ull;
    };
    const auto addRange = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t a = from; a < to; ++a) {
            add(memory_.ram(a));
        }
    };
    // The other registers a system call leaves scrambled; R counts on with
    // every instruction and is no state a program keeps.
    for (const std::uint16_t word : {pc(), sp(), reg(Reg::I), reg(Reg::IFF1), reg(Reg::IM)}) {
        add(static_cast<std::uint8_t>(word & 0xFF));
        add(static_cast<std::uint8_t>(word >> 8));
    }
    // A screen the program wrote to the LCD itself came with no system call:
    // it keeps its registers (the interrupt handler only the main ones).
    if (lastScreenByLcd_) {
        for (const Reg r : {Reg::AF, Reg::BC, Reg::DE, Reg::HL, Reg::IX, Reg::IY}) {
            const std::uint16_t word = reg(r);
            add(static_cast<std::uint8_t>(word & 0xFF));
            add(static_cast<std::uint8_t>(word >> 8));
        }
    }
    for (const std::uint8_t port : {port6_, port7_, timer_.port(), port20_, keypad_.groups(), port3_}) {
        add(port);
    }
    link_.addState(add);
    crystal_.addState(add, clock_);
    // Below SP: what the program stored there itself.
    for (std::uint32_t a = StackBottom; a < sp() && a < CallerStackPointer; ++a) {
        add(storedBelowSp_[a - StackBottom] ? memory_.ram(a) : 0);
    }
    addRange(sp(), CallerStackPointer);
    addRange(PlotSScreen, PlotSScreen + ScreenBytes);
    add(memory_.ram(GraphFlags));
    add(memory_.ram(FlagsBase + flag::ApdFlags));
    addRange(ram::CurRow, ram::CurCol + 1);
    addRange(ram::Op1, ram::Op1 + ram::OpRegisterBytes);
    addRange(ram::TextShadow, ram::TextShadow + ram::TextShadowBytes);
    addRange(ram::SaveSScreen, ram::SaveSScreen + ScreenBytes);
    addRange(ram::StatVars, ram::StatVars + ram::StatVarsBytes);
    addRange(ram::AppBackUpScreen, ram::AppBackUpScreen + ScreenBytes);
    lcd_.addState(add);
    if (programWritten_) {
        addRange(ProgramOrigin, programEnd_);
    }
    return digest;
}

}  // namespace zoetra::calc
