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

Machine::Machine(CalculatorModel model)
    : hardware_(modelPorts(model)),
      memory_(hardware_.facts().flashPages, hardware_.facts().ramPages),
      timer_(hardware_.facts())
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
        if (timer_.pending() && z80ex_int_possible(cpu_) != 0) {
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
            } else if (!timer_.pending()) {
                // The CPU sleeps until the next timer tick.
                clock_ = std::max(clock_, timer_.nextTick());
            }
        }
        timer_.advance(clock_);
        if (fault_.empty() && timer_.pending() && z80ex_int_possible(cpu_) != 0) {
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

void Machine::interrupt(bool halted)
{
    spAtStep_ = sp();
    const int tstates = z80ex_int(cpu_);
    if (tstates > 0) {
        addTime(static_cast<std::uint64_t>(tstates));
        timer_.acknowledge();
        ++interrupts_;
        if (halted) {
            ++halts_;
        }
    }
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

std::uint8_t Machine::interruptVectorCallback(_z80_cpu_context*, void*)
{
    return 0xFF;
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
    for (const std::uint8_t port : {port6_, port7_, timer_.port(), port20_, keypad_.groups()}) {
        add(port);
    }
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
