#include "Z80Harness.h"

#include "ProgramFileReader.h"

#include <z80ex/z80ex.h>

#include <algorithm>
#include <cstdio>

namespace z80test {

namespace {

constexpr std::uint16_t RstSystemCall = 0x0028;
constexpr std::uint16_t InterruptHandler = 0x0038;

}  // namespace

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*Xh", digits, value);
    return text;
}

std::uint8_t Z80Harness::fillPattern(std::uint16_t address)
{
    return static_cast<std::uint8_t>(((address ^ (address >> 8)) * 37 + 0x5B) & 0xFF);
}

Z80Harness::Z80Harness()
{
    for (std::uint32_t a = RamStart; a < 0x10000; ++a) {
        memory_[a] = fillPattern(static_cast<std::uint16_t>(a));
    }
    // The graph is current, so a program that draws must say otherwise.
    memory_[GraphFlags] &= 0xFE;
    // The OS interrupt handler keeps the main registers and returns with
    // interrupts on again.
    memory_[InterruptHandler] = 0xFB;      // ei
    memory_[InterruptHandler + 1] = 0xC9;  // ret
    cpu_ = z80ex_create(&Z80Harness::readCallback, this, &Z80Harness::writeCallback, this,
                        &Z80Harness::portReadCallback, this, &Z80Harness::portWriteCallback, this,
                        &Z80Harness::interruptVectorCallback, this);
}

Z80Harness::~Z80Harness()
{
    z80ex_destroy(cpu_);
}

void Z80Harness::load(std::uint16_t address, std::span<const std::uint8_t> bytes)
{
    for (std::size_t i = 0; i < bytes.size() && address + i < memory_.size(); ++i) {
        memory_[address + i] = bytes[i];
    }
}

void Z80Harness::loadProgram(std::span<const std::uint8_t> bytes)
{
    load(ProgramOrigin, bytes);
    programEnd_ = std::min<std::uint32_t>(ProgramOrigin + static_cast<std::uint32_t>(bytes.size()), StackBottom);
}

bool Z80Harness::loadProgramFile(const std::vector<std::uint8_t>& file, std::string* error)
{
    const auto contents = testsupport::readProgramFile(file, error);
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

void Z80Harness::start(std::uint16_t entry)
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
}

std::uint16_t Z80Harness::pc() const
{
    return z80ex_get_reg(cpu_, regPC);
}

std::uint16_t Z80Harness::sp() const
{
    return z80ex_get_reg(cpu_, regSP);
}

Screen Z80Harness::plotSScreen() const
{
    Screen screen{};
    std::copy_n(memory_.begin() + PlotSScreen, ScreenBytes, screen.begin());
    return screen;
}

std::size_t Z80Harness::callCount(std::uint16_t address) const
{
    return static_cast<std::size_t>(std::count(calls_.begin(), calls_.end(), address));
}

void Z80Harness::setFault(const std::string& text)
{
    if (fault_.empty()) {
        fault_ = text + " (PC " + hex(pc()) + ", after " + std::to_string(steps_) + " steps)";
    }
}

int Z80Harness::step()
{
    if (!fault_.empty() || returned_) {
        return 0;
    }
    ++steps_;
    const std::uint16_t at = pc();
    int tstates = 0;
    if (at == RstSystemCall) {
        systemCall();
    } else if (at < RamStart && at != InterruptHandler && at != InterruptHandler + 1) {
        setFault("execution in ROM outside the system calls");
    } else {
        tstates = z80ex_step(cpu_);
        if (at >= RamStart) {
            programTStates_ += static_cast<std::uint64_t>(tstates);
        }
        if (fault_.empty() && z80ex_doing_halt(cpu_)) {
            interrupt();
        }
    }
    if (fault_.empty() && pc() == ReturnSentinel) {
        if (sp() != CallerStackPointer) {
            setFault("returned to the caller with SP " + hex(sp()) + " instead of " + hex(CallerStackPointer));
        } else {
            returned_ = true;
        }
    }
    return tstates;
}

Stop Z80Harness::runUntil(std::uint16_t address, std::uint64_t stepBudget)
{
    for (std::uint64_t done = 0;; ++done) {
        if (!fault_.empty()) {
            return Stop::Fault;
        }
        if (returned_) {
            return Stop::Returned;
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

Stop Z80Harness::run(std::uint64_t stepBudget)
{
    return runUntil(ReturnSentinel, stepBudget);
}

void Z80Harness::interrupt()
{
    if (z80ex_get_reg(cpu_, regIFF1) == 0) {
        setFault("halt with interrupts disabled never ends");
        return;
    }
    if (z80ex_get_reg(cpu_, regIY) != FlagsBase) {
        setFault("timer interrupt with IY " + hex(z80ex_get_reg(cpu_, regIY)) + " instead of the flags");
        return;
    }
    if (z80ex_int(cpu_) > 0) {
        ++halts_;
        // The OS handler works in the shadow registers.
        for (const Z80_REG_T reg : {regAF_, regBC_, regDE_, regHL_}) {
            z80ex_set_reg(cpu_, reg, static_cast<Z80EX_WORD>(scrambleSeed_ = scrambleSeed_ * 1103515245u + 12345u));
        }
    }
}

void Z80Harness::scrambleRegisters(bool keepA)
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

void Z80Harness::systemCall()
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
    calls_.push_back(address);
    bool keepA = false;
    std::uint8_t resultA = 0;
    switch (address) {
    case bcall::GrBufCpy:
        std::copy_n(memory_.begin() + PlotSScreen, ScreenBytes, lcd_.begin());
        screens_.push_back({lcd_, programTStates_, halts_});
        break;
    case bcall::GetCSC:
        keepA = true;
        resultA = (clearAfterScreens_ && screens_.size() >= *clearAfterScreens_) ? ScanClear : 0;
        break;
    case bcall::GetKey:
        keepA = true;
        resultA = getKeyResult_;
        break;
    case bcall::ClrLCDFull:
        lcd_.fill(0);
        break;
    case bcall::ClrScrnFull:
        lcd_.fill(0);
        textShadowCleared_ = true;
        cursorHome_ = false;
        break;
    case bcall::GrBufClr:
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
        calls_.pop_back();
        setFault("unknown system call " + hex(address));
        return;
    }
    // System calls keep no register but IY (and their result in A).
    scrambleRegisters(false);
    if (keepA) {
        z80ex_set_reg(cpu_, regAF,
                      static_cast<Z80EX_WORD>((resultA << 8) | (z80ex_get_reg(cpu_, regAF) & 0x00FF)));
    }
    z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
    z80ex_set_reg(cpu_, regPC, static_cast<Z80EX_WORD>(back + 2));
}

bool Z80Harness::writeAllowed(std::uint16_t address, std::uint8_t value) const
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

std::uint8_t Z80Harness::readCallback(_z80_cpu_context*, std::uint16_t address, int m1, void* self)
{
    auto* h = static_cast<Z80Harness*>(self);
    if (m1 != 0 && address >= RamStart) {
        if (address >= ExecutionLimit) {
            h->setFault("instruction fetched at " + hex(address) + ", at or above C000h");
        }
        h->highestExecuted_ = std::max(h->highestExecuted_, address);
    } else if (m1 == 0 && address >= ProgramOrigin && address < h->programEnd_) {
        h->highestDataRead_ = std::max(h->highestDataRead_, address);
    }
    return h->memory_[address];
}

void Z80Harness::writeCallback(_z80_cpu_context*, std::uint16_t address, std::uint8_t value, void* self)
{
    auto* h = static_cast<Z80Harness*>(self);
    if (!h->writeAllowed(address, value)) {
        h->setFault("write of " + hex(value, 2) + " to " + hex(address) +
                    ", outside plotSScreen, the stack and the program");
        return;
    }
    h->memory_[address] = value;
}

std::uint8_t Z80Harness::portReadCallback(_z80_cpu_context*, std::uint16_t port, void* self)
{
    static_cast<Z80Harness*>(self)->setFault("read from port " + hex(port & 0xFF, 2));
    return 0xFF;
}

void Z80Harness::portWriteCallback(_z80_cpu_context*, std::uint16_t port, std::uint8_t, void* self)
{
    static_cast<Z80Harness*>(self)->setFault("write to port " + hex(port & 0xFF, 2));
}

std::uint8_t Z80Harness::interruptVectorCallback(_z80_cpu_context*, void*)
{
    return 0xFF;
}

}  // namespace z80test
