#include "calc/Calculator.h"

#include "calc/ProgramFile.h"

#include <z80ex/z80ex.h>

#include <algorithm>
#include <cstdio>

namespace zoetra::calc {

namespace {

constexpr std::uint16_t RstSystemCall = 0x0028;
constexpr std::uint16_t InterruptHandler = 0x0038;
constexpr std::uint64_t FrameTimeoutTStates = FrameTimeoutSeconds * CpuHz;

struct KeyCodes {
    std::uint8_t scan;  // _GetCSC
    std::uint8_t key;   // _GetKey
};

KeyCodes codes(Key key)
{
    switch (key) {
    case Key::Enter:
        return {0x09, 0x05};
    case Key::Clear:
        return {0x0F, 0x09};
    case Key::Up:
        return {0x04, 0x03};
    case Key::Down:
        return {0x01, 0x04};
    case Key::Left:
        return {0x02, 0x02};
    case Key::Right:
        return {0x03, 0x01};
    }
    return {0, 0};
}

}  // namespace

std::uint8_t scanCode(Key key)
{
    return codes(key).scan;
}

std::uint8_t keyCode(Key key)
{
    return codes(key).key;
}

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*Xh", digits, value);
    return text;
}

std::uint8_t Calculator::fillPattern(std::uint16_t address)
{
    return static_cast<std::uint8_t>(((address ^ (address >> 8)) * 37 + 0x5B) & 0xFF);
}

Calculator::Calculator()
{
    for (std::uint32_t a = RamStart; a < 0x10000; ++a) {
        memory_[a] = fillPattern(static_cast<std::uint16_t>(a));
    }
    // The graph is current, so a program that draws must say otherwise.
    memory_[GraphFlags] &= 0xFE;
    // The OS interrupt handler keeps the main registers and returns with
    // interrupts on again. Its real work (keypad scan, power-down count)
    // is left out: the player's pace comes from the ticks, not from it.
    memory_[InterruptHandler] = 0xFB;      // ei
    memory_[InterruptHandler + 1] = 0xC9;  // ret
    cpu_ = z80ex_create(&Calculator::readCallback, this, &Calculator::writeCallback, this,
                        &Calculator::portReadCallback, this, &Calculator::portWriteCallback, this,
                        &Calculator::interruptVectorCallback, this);
}

Calculator::~Calculator()
{
    z80ex_destroy(cpu_);
}

void Calculator::load(std::uint16_t address, std::span<const std::uint8_t> bytes)
{
    for (std::size_t i = 0; i < bytes.size() && address + i < memory_.size(); ++i) {
        memory_[address + i] = bytes[i];
    }
}

void Calculator::loadProgram(std::span<const std::uint8_t> bytes)
{
    load(ProgramOrigin, bytes);
    programEnd_ = std::min<std::uint32_t>(ProgramOrigin + static_cast<std::uint32_t>(bytes.size()), StackBottom);
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

void Calculator::start(std::uint16_t entry)
{
    z80ex_reset(cpu_);
    const std::uint16_t sp = CallerStackPointer - 2;
    memory_[sp] = ReturnSentinel & 0xFF;
    memory_[sp + 1] = ReturnSentinel >> 8;
    z80ex_set_reg(cpu_, regSP, sp);
    z80ex_set_reg(cpu_, regPC, entry);
    z80ex_set_reg(cpu_, regIY, FlagsBase);
    z80ex_set_reg(cpu_, regIM, 1);
    z80ex_set_reg(cpu_, regIFF1, 1);
    z80ex_set_reg(cpu_, regIFF2, 1);
    scrambleRegisters(false);
    fault_.clear();
    returned_ = false;
    waitingForKey_ = false;
    lastProgress_ = tstates_;
}

std::uint16_t Calculator::pc() const
{
    return z80ex_get_reg(cpu_, regPC);
}

std::uint16_t Calculator::sp() const
{
    return z80ex_get_reg(cpu_, regSP);
}

Screen Calculator::plotSScreen() const
{
    Screen screen{};
    std::copy_n(memory_.begin() + PlotSScreen, ScreenBytes, screen.begin());
    return screen;
}

std::vector<ShownScreen> Calculator::takeScreens()
{
    std::vector<ShownScreen> taken;
    taken.swap(screens_);
    return taken;
}

std::size_t Calculator::callCount(std::uint16_t address) const
{
    return static_cast<std::size_t>(std::count(calls_.begin(), calls_.end(), address));
}

void Calculator::setFault(const std::string& text)
{
    if (fault_.empty()) {
        fault_ = text + " (PC " + hex(pc()) + ", after " + std::to_string(steps_) + " steps)";
    }
}

void Calculator::press(Key key)
{
    pendingKey_ = key;
    if (waitingForKey_) {
        // _GetKey is retried with the key; the wait was no hang.
        waitingForKey_ = false;
        lastProgress_ = tstates_;
    }
}

void Calculator::pressAfterScreens(Key key, std::optional<std::size_t> screens)
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

std::uint64_t Calculator::step()
{
    if (stopped()) {
        return 0;
    }
    ++steps_;
    const std::uint64_t before = tstates_;
    const std::uint16_t at = pc();
    bool halted = false;
    if (at == RstSystemCall) {
        systemCall();
    } else if (at < RamStart && at != InterruptHandler && at != InterruptHandler + 1) {
        setFault("execution in ROM outside the system calls");
    } else {
        const auto tstates = static_cast<std::uint64_t>(z80ex_step(cpu_));
        tstates_ += tstates;
        if (at >= RamStart) {
            programTStates_ += tstates;
        }
        halted = fault_.empty() && z80ex_doing_halt(cpu_) != 0;
    }
    if (fault_.empty() && !waitingForKey_) {
        if (halted) {
            if (z80ex_get_reg(cpu_, regIFF1) == 0) {
                setFault("halt with interrupts disabled never ends");
            } else if (!tickPending_) {
                // The CPU sleeps until the next timer tick.
                tstates_ = std::max(tstates_, nextTick_);
            }
        }
        advanceTimer();
        if (fault_.empty() && tickPending_ && z80ex_int_possible(cpu_) != 0) {
            interrupt(halted);
        }
    }
    if (fault_.empty() && pc() == ReturnSentinel) {
        if (sp() != CallerStackPointer) {
            setFault("returned to the caller with SP " + hex(sp()) + " instead of " + hex(CallerStackPointer));
        } else {
            returned_ = true;
        }
    }
    if (!stopped() && tstates_ - lastProgress_ > FrameTimeoutTStates) {
        setFault(screenCount_ == 0 ? "no frame shown within " + std::to_string(FrameTimeoutSeconds) + " seconds"
                                   : "no new frame for " + std::to_string(FrameTimeoutSeconds) +
                                         " seconds after frame " + std::to_string(screenCount_));
    }
    return tstates_ - before;
}

Stop Calculator::runUntil(std::uint16_t address, std::uint64_t stepBudget)
{
    for (std::uint64_t done = 0;; ++done) {
        if (!fault_.empty()) {
            return Stop::Fault;
        }
        if (returned_) {
            return Stop::Returned;
        }
        if (waitingForKey_) {
            return Stop::WaitingForKey;
        }
        if (pc() == address) {
            return Stop::ReachedAddress;
        }
        if (done >= stepBudget) {
            return Stop::BudgetExhausted;
        }
        step();
    }
}

Stop Calculator::run(std::uint64_t stepBudget)
{
    return runUntil(ReturnSentinel, stepBudget);
}

Stop Calculator::runUntilTime(std::uint64_t tstates)
{
    while (tstates_ < tstates && !stopped()) {
        step();
    }
    if (waitingForKey_ && tstates_ < tstates) {
        // The OS waits in _GetKey, taking its own timer ticks meanwhile.
        tstates_ = tstates;
        nextTick_ = (tstates_ / TimerPeriodTStates + 1) * TimerPeriodTStates;
        tickPending_ = false;
        lastProgress_ = tstates_;
    }
    if (!fault_.empty()) {
        return Stop::Fault;
    }
    if (returned_) {
        return Stop::Returned;
    }
    return waitingForKey_ ? Stop::WaitingForKey : Stop::TimeReached;
}

Stop Calculator::runToNextScreen()
{
    const std::size_t shown = screenCount_;
    while (screenCount_ == shown && !stopped()) {
        step();
    }
    if (!fault_.empty()) {
        return Stop::Fault;
    }
    if (returned_) {
        return Stop::Returned;
    }
    if (screenCount_ != shown) {
        return Stop::ScreenShown;
    }
    return Stop::WaitingForKey;
}

void Calculator::advanceTimer()
{
    if (tstates_ >= nextTick_) {
        // Ticks missed while interrupts were off merge into one request.
        tickPending_ = true;
        nextTick_ = (tstates_ / TimerPeriodTStates + 1) * TimerPeriodTStates;
    }
}

void Calculator::interrupt(bool halted)
{
    if (z80ex_get_reg(cpu_, regIY) != FlagsBase) {
        setFault("timer interrupt with IY " + hex(z80ex_get_reg(cpu_, regIY)) + " instead of the flags");
        return;
    }
    const int tstates = z80ex_int(cpu_);
    if (tstates > 0) {
        tstates_ += static_cast<std::uint64_t>(tstates);
        tickPending_ = false;
        ++interrupts_;
        if (halted) {
            ++halts_;
        }
        // The OS handler works in the shadow registers.
        for (const Z80_REG_T reg : {regAF_, regBC_, regDE_, regHL_}) {
            z80ex_set_reg(cpu_, reg, static_cast<Z80EX_WORD>(scrambleSeed_ = scrambleSeed_ * 1103515245u + 12345u));
        }
    }
}

void Calculator::scrambleRegisters(bool keepA)
{
    const std::uint16_t a = z80ex_get_reg(cpu_, regAF) & 0xFF00;
    for (const Z80_REG_T reg : {regAF, regBC, regDE, regHL, regIX, regAF_, regBC_, regDE_, regHL_}) {
        scrambleSeed_ = scrambleSeed_ * 1103515245u + 12345u;
        z80ex_set_reg(cpu_, reg, static_cast<Z80EX_WORD>(scrambleSeed_ >> 8));
    }
    if (keepA) {
        z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>(a | (z80ex_get_reg(cpu_, regAF) & 0x00FF)));
    }
}

void Calculator::showScreen()
{
    std::copy_n(memory_.begin() + PlotSScreen, ScreenBytes, lcd_.begin());
    ++lcdWrites_;
    screens_.push_back({lcd_, tstates_, programTStates_, halts_});
    ++screenCount_;
    lastProgress_ = tstates_;
    if (scriptedKey_ && screenCount_ >= scriptedKey_->second) {
        press(scriptedKey_->first);
        scriptedKey_.reset();
    }
}

void Calculator::systemCall()
{
    const std::uint16_t sp = this->sp();
    const std::uint16_t back = static_cast<std::uint16_t>(memory_[sp] | (memory_[static_cast<std::uint16_t>(sp + 1)] << 8));
    const std::uint16_t address =
        static_cast<std::uint16_t>(memory_[back] | (memory_[static_cast<std::uint16_t>(back + 1)] << 8));
    if (z80ex_get_reg(cpu_, regIY) != FlagsBase) {
        setFault("system call " + hex(address) + " with IY " + hex(z80ex_get_reg(cpu_, regIY)) +
                 " instead of the flags");
        return;
    }
    bool keepA = false;
    std::uint8_t resultA = 0;
    std::uint64_t cost = SystemCallTStates;
    switch (address) {
    case bcall::GrBufCpy:
        cost = LcdFullWriteTStates;
        tstates_ += cost;
        showScreen();
        cost = 0;
        break;
    case bcall::GetCSC:
        keepA = true;
        if (pendingKey_) {
            resultA = scanCode(*pendingKey_);
            pendingKey_.reset();
        }
        break;
    case bcall::GetKey:
        if (!pendingKey_) {
            // Waits here, the call not yet made, until press().
            waitingForKey_ = true;
            return;
        }
        keepA = true;
        resultA = keyCode(*pendingKey_);
        pendingKey_.reset();
        lastProgress_ = tstates_;
        break;
    case bcall::ClrLCDFull:
        cost = LcdFullWriteTStates;
        lcd_.fill(0);
        ++lcdWrites_;
        break;
    case bcall::ClrScrnFull:
        cost = LcdFullWriteTStates;
        lcd_.fill(0);
        ++lcdWrites_;
        textShadowCleared_ = true;
        cursorHome_ = false;
        break;
    case bcall::GrBufClr:
        cost = BufferClearTStates;
        std::fill_n(memory_.begin() + PlotSScreen, ScreenBytes, 0);
        break;
    case bcall::HomeUp:
        cursorHome_ = true;
        break;
    case bcall::RunIndicOff:
        runIndicator_ = false;
        break;
    case bcall::RunIndicOn:
        runIndicator_ = true;
        break;
    default:
        setFault("unknown system call " + hex(address));
        return;
    }
    calls_.push_back(address);
    tstates_ += cost;
    // System calls keep no register but IY (and their result in A).
    scrambleRegisters(false);
    if (keepA) {
        z80ex_set_reg(cpu_, regAF,
                      static_cast<Z80EX_WORD>((resultA << 8) | (z80ex_get_reg(cpu_, regAF) & 0x00FF)));
    }
    z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
    z80ex_set_reg(cpu_, regPC, static_cast<Z80EX_WORD>(back + 2));
}

std::uint64_t Calculator::stateDigest() const
{
    std::uint64_t digest = 0xCBF29CE484222325ull;
    const auto add = [&digest](std::uint8_t byte) {
        digest = (digest ^ byte) * 0x100000001B3ull;
    };
    const auto addRange = [&](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t a = from; a < to; ++a) {
            add(memory_[a]);
        }
    };
    for (const std::uint16_t word : {pc(), sp()}) {
        add(static_cast<std::uint8_t>(word & 0xFF));
        add(static_cast<std::uint8_t>(word >> 8));
    }
    // Below SP lie only leftovers of earlier calls and interrupts.
    addRange(sp(), CallerStackPointer);
    addRange(PlotSScreen, PlotSScreen + ScreenBytes);
    add(memory_[GraphFlags]);
    if (programWritten_) {
        addRange(ProgramOrigin, programEnd_);
    }
    return digest;
}

bool Calculator::writeAllowed(std::uint16_t address, std::uint8_t value) const
{
    if (address >= PlotSScreen && address < PlotSScreen + ScreenBytes) {
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
    return address == GraphFlags && value == (memory_[GraphFlags] | 0x01);
}

std::uint8_t Calculator::readCallback(_z80_cpu_context*, std::uint16_t address, int m1, void* self)
{
    auto* c = static_cast<Calculator*>(self);
    if (m1 != 0 && address >= RamStart) {
        if (address >= ExecutionLimit) {
            c->setFault("instruction fetched at " + hex(address) + ", at or above C000h");
        }
        c->highestExecuted_ = std::max(c->highestExecuted_, address);
    } else if (m1 == 0 && address >= ProgramOrigin && address < c->programEnd_) {
        c->highestDataRead_ = std::max(c->highestDataRead_, address);
    }
    return c->memory_[address];
}

void Calculator::writeCallback(_z80_cpu_context*, std::uint16_t address, std::uint8_t value, void* self)
{
    auto* c = static_cast<Calculator*>(self);
    if (!c->writeAllowed(address, value)) {
        c->setFault("write of " + hex(value, 2) + " to " + hex(address) +
                    ", outside plotSScreen, the stack and the program");
        return;
    }
    if (address >= ProgramOrigin && address < c->programEnd_) {
        c->programWritten_ = true;
    }
    c->memory_[address] = value;
}

std::uint8_t Calculator::portReadCallback(_z80_cpu_context*, std::uint16_t port, void* self)
{
    static_cast<Calculator*>(self)->setFault("read from port " + hex(port & 0xFF, 2));
    return 0xFF;
}

void Calculator::portWriteCallback(_z80_cpu_context*, std::uint16_t port, std::uint8_t, void* self)
{
    static_cast<Calculator*>(self)->setFault("write to port " + hex(port & 0xFF, 2));
}

std::uint8_t Calculator::interruptVectorCallback(_z80_cpu_context*, void*)
{
    return 0xFF;
}

}  // namespace zoetra::calc
