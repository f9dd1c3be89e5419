#include "calc/Calculator.h"

#include "calc/ProgramFile.h"

#include <z80ex/z80ex.h>

#include <algorithm>
#include <cstdio>

namespace zoetra::calc {

namespace {

constexpr std::uint16_t RstSystemCall = 0x0028;
constexpr std::uint16_t InterruptHandler = 0x0038;
constexpr std::uint64_t FrameTimeoutClock = FrameTimeoutSeconds * ClockHz;
constexpr std::uint64_t KeyHoldClock = ClockHz / 10;
constexpr std::uint16_t BankA = 0x4000;
constexpr std::uint16_t BankB = 0x8000;

bool inside(std::uint32_t address, std::uint32_t from, std::uint32_t bytes)
{
    return address >= from && address < from + bytes;
}

// Where a pressed key shows on the keypad port: its group's bit in the
// group mask, and its bit in the answer.
struct KeypadBit {
    std::uint8_t group;
    std::uint8_t bit;
};

KeypadBit keypadBit(Key key)
{
    switch (key) {
    case Key::Down:
        return {0, 0};
    case Key::Left:
        return {0, 1};
    case Key::Right:
        return {0, 2};
    case Key::Up:
        return {0, 3};
    case Key::Enter:
        return {1, 0};
    case Key::Clear:
        return {1, 6};
    }
    return {7, 7};
}

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

Calculator::Calculator(CalculatorModel model)
    : hardware_(hardware(model)),
      memory_(hardware_.facts().flashPages, hardware_.facts().ramPages),
      archive_(memory_.flash(), hardware_.facts()),
      timerPeriod_(hardware_.timerPeriods[3]),
      nextTick_(timerPeriod_)
{
    for (std::uint32_t a = RamStart; a < 0x10000; ++a) {
        memory_.ram(a) = fillPattern(static_cast<std::uint16_t>(a));
    }
    // Flash page 0 holds the OS's entry points; only the interrupt handler
    // runs from it here.
    std::fill_n(memory_.flash().begin(), PagedMemory::PageBytes, 0);
    // The home screen as a program finds it: empty, the cursor at the top.
    for (std::uint16_t i = 0; i < ram::TextShadowBytes; ++i) {
        memory_.ram(ram::TextShadow + i) = ' ';
    }
    memory_.ram(ram::CurRow) = 0;
    memory_.ram(ram::CurCol) = 0;
    // The graph is current, so a program that draws must say otherwise.
    memory_.ram(GraphFlags) &= 0xFE;
    memory_.ram(FlagsBase + flag::ApdFlags) |= 1 << flag::ApdAble;
    // The VAT holds nothing a program looks for until AppVars are loaded.
    for (const std::uint16_t pointer : {ram::ProgPtr, ram::PTemp}) {
        memory_.ram(pointer) = ram::SymTable & 0xFF;
        memory_.ram(pointer + 1) = ram::SymTable >> 8;
    }
    // The OS interrupt handler keeps the main registers and returns with
    // interrupts on again; its work costs InterruptHandlerTStates.
    memory_.flash()[InterruptHandler] = 0xFB;      // ei
    memory_.flash()[InterruptHandler + 1] = 0xC9;  // ret
    mapBank(1, static_cast<std::uint8_t>(OsBankAPage));
    mapBank(2, hardware_.port7Default());
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
    for (std::size_t i = 0; i < bytes.size() && address + i < 0x10000; ++i) {
        memory_.at(static_cast<std::uint16_t>(address + i)) = bytes[i];
    }
}

void Calculator::loadProgram(std::span<const std::uint8_t> bytes)
{
    load(ProgramOrigin, bytes);
    programEnd_ = std::min<std::uint32_t>(ProgramOrigin + static_cast<std::uint32_t>(bytes.size()), StackBottom);
    ramVarsEnd_ = std::max(ramVarsEnd_, programEnd_);
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
    std::string why;
    const auto fail = [&](const std::string& text) -> std::optional<PlacedVariable> {
        if (error != nullptr) {
            *error = text;
        }
        return std::nullopt;
    };
    if (name.empty() || name.size() > 8) {
        return fail("an AppVar's name has 1 to 8 characters");
    }
    const std::uint32_t vatBytes = 7 + static_cast<std::uint32_t>(name.size());
    PlacedVariable placed;
    placed.archived = archived;
    if (archived) {
        FlashAddress at;
        if (!archive_.store(Archive::ValidFlag, AppVarObj, name, data, &at, &why)) {
            return fail(why);
        }
        placed.page = at.page;
        placed.address = at.address;
    } else {
        if (ramVarsEnd_ + 2 + data.size() + vatBytes > vatBottom_) {
            return fail("no RAM left for the AppVar " + std::string(name));
        }
        placed.address = static_cast<std::uint16_t>(ramVarsEnd_);
        memory_.ram(ramVarsEnd_) = static_cast<std::uint8_t>(data.size());
        memory_.ram(ramVarsEnd_ + 1) = static_cast<std::uint8_t>(data.size() >> 8);
        for (std::size_t i = 0; i < data.size(); ++i) {
            memory_.ram(ramVarsEnd_ + 2 + static_cast<std::uint32_t>(i)) = data[i];
        }
        ramVarsEnd_ += 2 + static_cast<std::uint32_t>(data.size());
    }
    if (vatBottom_ - vatBytes < ramVarsEnd_) {
        return fail("no RAM left for the VAT entry of " + std::string(name));
    }
    // The VAT entry runs backwards from its type byte: type, T2, version,
    // address low, high, page, name length, name.
    const std::uint16_t entry = vatBottom_;
    const std::uint8_t fields[] = {AppVarObj,
                                   0,
                                   0,
                                   static_cast<std::uint8_t>(placed.address),
                                   static_cast<std::uint8_t>(placed.address >> 8),
                                   static_cast<std::uint8_t>(placed.page),
                                   static_cast<std::uint8_t>(name.size())};
    std::uint16_t at = entry;
    for (const std::uint8_t field : fields) {
        memory_.ram(at--) = field;
    }
    for (const char c : name) {
        memory_.ram(at--) = static_cast<std::uint8_t>(c);
    }
    vatBottom_ = at;
    memory_.ram(ram::PTemp) = static_cast<std::uint8_t>(vatBottom_);
    memory_.ram(ram::PTemp + 1) = static_cast<std::uint8_t>(vatBottom_ >> 8);
    placed.vatEntry = entry;
    return placed;
}

bool Calculator::padArchiveTo(FlashAddress at, std::string* error)
{
    std::string why;
    if (!archive_.padTo(at, &why)) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    return true;
}

void Calculator::start(std::uint16_t entry)
{
    z80ex_reset(cpu_);
    const std::uint16_t sp = CallerStackPointer - 2;
    memory_.ram(sp) = ReturnSentinel & 0xFF;
    memory_.ram(sp + 1) = ReturnSentinel >> 8;
    z80ex_set_reg(cpu_, regSP, sp);
    z80ex_set_reg(cpu_, regPC, entry);
    z80ex_set_reg(cpu_, regIY, FlagsBase);
    z80ex_set_reg(cpu_, regIM, 1);
    z80ex_set_reg(cpu_, regIFF1, 1);
    z80ex_set_reg(cpu_, regIFF2, 1);
    scrambleRegisters();
    fault_.clear();
    returned_ = false;
    waitingForKey_ = false;
    lastProgress_ = clock_;
}

std::uint16_t Calculator::pc() const
{
    return z80ex_get_reg(cpu_, regPC);
}

std::uint16_t Calculator::sp() const
{
    return z80ex_get_reg(cpu_, regSP);
}

std::uint32_t Calculator::cpuHz() const
{
    return port20_ == 0 ? hardware_.facts().slowCpuHz : hardware_.facts().fastCpuHz;
}

bool Calculator::apdEnabled() const
{
    return (memory_.ram(FlagsBase + flag::ApdFlags) >> flag::ApdAble & 1) != 0;
}

std::vector<std::string> Calculator::homeScreen() const
{
    std::vector<std::string> rows;
    for (std::uint16_t row = 0; row < 8; ++row) {
        std::string text;
        for (std::uint16_t column = 0; column < 16; ++column) {
            const std::uint8_t c = memory_.ram(ram::TextShadow + row * 16 + column);
            text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ';
        }
        rows.push_back(text);
    }
    return rows;
}

Screen Calculator::plotSScreen() const
{
    Screen screen{};
    for (std::size_t i = 0; i < ScreenBytes; ++i) {
        screen[i] = memory_.ram(PlotSScreen + static_cast<std::uint32_t>(i));
    }
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
    heldKey_ = key;
    keyReleasedAt_ = clock_ + KeyHoldClock;
    if (waitingForKey_) {
        // _GetKey is retried with the key; the wait was no hang.
        waitingForKey_ = false;
        lastProgress_ = clock_;
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
    const std::uint64_t before = clock_;
    const std::uint16_t at = pc();
    const std::size_t screensBefore = screenCount_;
    bool halted = false;
    if (interruptDeferred_) {
        // The tick that came as the last screen was shown.
        interruptDeferred_ = false;
        if (tickPending_ && z80ex_int_possible(cpu_) != 0) {
            interrupt(false);
        }
        return (clock_ - before) / ClockPerTState;
    }
    if (at == RstSystemCall) {
        systemCall();
    } else if (at == LcdBusyQuick) {
        // A plain call: wait 10 us, then return.
        addLcdTime(LcdAccessMicroseconds * CpuHz / 1'000'000);
        const std::uint16_t sp = this->sp();
        z80ex_set_reg(cpu_, regPC, static_cast<Z80EX_WORD>(memory_.read(sp) | memory_.read(static_cast<std::uint16_t>(sp + 1)) << 8));
        z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
    } else if (at < BankA && at != InterruptHandler && at != InterruptHandler + 1) {
        setFault("execution in ROM outside the system calls");
    } else if (at == InterruptHandler && !osHandler()) {
        // The handler found the OS's state broken.
    } else {
        spAtStep_ = sp();
        const auto tstates = static_cast<std::uint64_t>(z80ex_step(cpu_));
        addTime(tstates);
        if (at >= BankA) {
            programTStates_ += tstates;
        }
        halted = fault_.empty() && z80ex_doing_halt(cpu_) != 0;
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
            } else if (!tickPending_) {
                // The CPU sleeps until the next timer tick.
                clock_ = std::max(clock_, nextTick_);
            }
        }
        advanceTimer();
        if (fault_.empty() && tickPending_ && z80ex_int_possible(cpu_) != 0) {
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
    const std::uint64_t until = tstates * ClockPerTState;
    while (clock_ < until && !stopped()) {
        step();
    }
    if (waitingForKey_ && clock_ < until) {
        // The OS waits in _GetKey, taking its own timer ticks meanwhile.
        clock_ = until;
        nextTick_ = (clock_ / timerPeriod_ + 1) * timerPeriod_;
        tickPending_ = false;
        lastProgress_ = clock_;
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
    if (clock_ >= nextTick_) {
        // Ticks missed while interrupts were off merge into one request.
        tickPending_ = true;
        nextTick_ = (clock_ / timerPeriod_ + 1) * timerPeriod_;
    }
}

void Calculator::interrupt(bool halted)
{
    spAtStep_ = sp();
    const int tstates = z80ex_int(cpu_);
    if (tstates > 0) {
        addTime(static_cast<std::uint64_t>(tstates));
        tickPending_ = false;
        ++interrupts_;
        if (halted) {
            ++halts_;
        }
    }
}

// The OS's timer interrupt handler, entered at 0038h: in interrupt mode 1
// straight from the interrupt, in mode 2 from a program's own handler that
// goes on to it. Its work costs InterruptHandlerTStates; its ei / ret run
// as they stand.
bool Calculator::osHandler()
{
    if (z80ex_get_reg(cpu_, regIY) != FlagsBase) {
        setFault("timer interrupt with IY " + hex(z80ex_get_reg(cpu_, regIY)) + " instead of the flags");
        return false;
    }
    if (port7_ != hardware_.port7Default()) {
        // The handler's flags and variables are in RAM page 1.
        setFault("timer interrupt with port 7 at " + hex(port7_, 2) + ", the OS's RAM not in bank B");
        return false;
    }
    addTime(InterruptHandlerTStates);
    // It works in the shadow registers and leaves them changed.
    for (const Z80_REG_T reg : {regAF_, regBC_, regDE_, regHL_}) {
        z80ex_set_reg(cpu_, reg, static_cast<Z80EX_WORD>(scrambleSeed_ = scrambleSeed_ * 1103515245u + 12345u));
    }
    return true;
}

void Calculator::scrambleRegisters()
{
    for (const Z80_REG_T reg : {regAF, regBC, regDE, regHL, regIX, regAF_, regBC_, regDE_, regHL_}) {
        scrambleSeed_ = scrambleSeed_ * 1103515245u + 12345u;
        z80ex_set_reg(cpu_, reg, static_cast<Z80EX_WORD>(scrambleSeed_ >> 8));
    }
}

void Calculator::showScreen(const Screen& pixels)
{
    showScreen(ShownScreen{pixels, tstates(), programTStates_, halts_});
}

void Calculator::showScreen(const ShownScreen& shown)
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

void Calculator::endLcdRun(bool force)
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

void Calculator::systemCall()
{
    const std::uint16_t sp = this->sp();
    const std::uint16_t back =
        static_cast<std::uint16_t>(memory_.read(sp) | (memory_.read(static_cast<std::uint16_t>(sp + 1)) << 8));
    const std::uint16_t address = static_cast<std::uint16_t>(memory_.read(back) |
                                                             (memory_.read(static_cast<std::uint16_t>(back + 1)) << 8));
    if (z80ex_get_reg(cpu_, regIY) != FlagsBase) {
        setFault("system call " + hex(address) + " with IY " + hex(z80ex_get_reg(cpu_, regIY)) +
                 " instead of the flags");
        return;
    }
    if (port7_ != hardware_.port7Default()) {
        setFault("system call " + hex(address) + " with port 7 at " + hex(port7_, 2) + ", the OS's RAM not in bank B");
        return;
    }
    // The registers as the program passed them, given back when the call
    // does not happen now (a wait for a key, a fault).
    const std::uint16_t hl = z80ex_get_reg(cpu_, regHL);
    const std::uint16_t de = z80ex_get_reg(cpu_, regDE);
    const std::uint16_t bc = z80ex_get_reg(cpu_, regBC);
    const std::uint16_t af = z80ex_get_reg(cpu_, regAF);
    std::uint64_t cost = SystemCallTStates;
    if (!osCall(address, cost)) {
        if (fault_.empty() && !waitingForKey_) {
            setFault("unknown system call " + hex(address));
        }
        for (const auto& [reg, value] : {std::pair{regHL, hl}, {regDE, de}, {regBC, bc}, {regAF, af}}) {
            z80ex_set_reg(cpu_, reg, value);
        }
        return;
    }
    calls_.push_back(address);
    addTime(cost);
    z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
    z80ex_set_reg(cpu_, regPC, static_cast<Z80EX_WORD>(back + 2));
}

// One OS routine; false when there is none at the address (or it waits).
// Its register results are set after the others are scrambled.
bool Calculator::osCall(std::uint16_t address, std::uint64_t& cost)
{
    const std::uint16_t hl = z80ex_get_reg(cpu_, regHL);
    const std::uint8_t a = static_cast<std::uint8_t>(z80ex_get_reg(cpu_, regAF) >> 8);
    std::optional<std::uint8_t> resultA;
    switch (address) {
    case bcall::GrBufCpy: {
        // The copy is seen once it is done.
        addLcdTime(LcdFullWriteTStates);
        cost = 0;
        lcd_.fill(plotSScreen());
        lastLcdAccess_ = clock_;
        showScreen(lcd_.screen());
        lastScreenByLcd_ = false;
        break;
    }
    case bcall::GetCSC:
        resultA = 0;
        if (pendingKey_) {
            resultA = scanCode(*pendingKey_);
            pendingKey_.reset();
        }
        break;
    case bcall::GetKey:
        if (!pendingKey_) {
            // Waits here, the call not yet made, until press().
            waitingForKey_ = true;
            return false;
        }
        resultA = keyCode(*pendingKey_);
        pendingKey_.reset();
        lastProgress_ = clock_;
        break;
    case bcall::ClrLCDFull:
    case bcall::ClrScrnFull:
        addLcdTime(LcdFullWriteTStates);
        cost = 0;
        lcd_.fill(Screen{});
        lastLcdAccess_ = clock_;
        lcdRun_.reset();
        ++lcdWrites_;
        if (address == bcall::ClrScrnFull) {
            for (std::uint16_t i = 0; i < ram::TextShadowBytes; ++i) {
                memory_.ram(ram::TextShadow + i) = ' ';
            }
            textShadowCleared_ = true;
            cursorHome_ = false;
        }
        break;
    case bcall::GrBufClr:
        cost = BufferClearTStates;
        for (std::uint32_t i = 0; i < ScreenBytes; ++i) {
            memory_.ram(PlotSScreen + i) = 0;
        }
        break;
    case bcall::HomeUp:
        memory_.ram(ram::CurRow) = 0;
        memory_.ram(ram::CurCol) = 0;
        cursorHome_ = true;
        break;
    case bcall::RunIndicOff:
        runIndicator_ = false;
        break;
    case bcall::RunIndicOn:
        runIndicator_ = true;
        break;
    case bcall::DisableApd:
        memory_.ram(FlagsBase + flag::ApdFlags) &= static_cast<std::uint8_t>(~(1 << flag::ApdAble));
        break;
    case bcall::EnableApd:
        memory_.ram(FlagsBase + flag::ApdFlags) |= 1 << flag::ApdAble;
        break;
    case bcall::PutC:
        addLcdTime(CharacterTStates);
        putCharacter(a);
        break;
    case bcall::PutS: {
        std::uint16_t at = hl;
        for (std::uint8_t c; (c = memory_.read(at)) != 0; ++at) {
            if (!osPointer(at, 1, "_PutS")) {
                return false;
            }
            if (at - hl >= 1000) {
                setFault("_PutS given " + hex(hl) + ", with no end in its first 1000 characters");
                return false;
            }
            addLcdTime(CharacterTStates);
            putCharacter(c);
        }
        break;
    }
    case bcall::NewLine:
        printed_ += '\n';
        newLine();
        break;
    case bcall::DispHL: {
        // Five places, right-aligned with spaces.
        std::string digits = std::to_string(hl);
        digits.insert(0, 5 - digits.size(), ' ');
        for (const char c : digits) {
            addLcdTime(CharacterTStates);
            putCharacter(static_cast<std::uint8_t>(c));
        }
        break;
    }
    case bcall::Mov9ToOP1:
        if (!osPointer(hl, 9, "_Mov9ToOP1")) {
            return false;
        }
        for (std::uint16_t i = 0; i < 9; ++i) {
            memory_.ram(ram::Op1 + i) = memory_.read(static_cast<std::uint16_t>(hl + i));
        }
        break;
    case bcall::ChkFindSym:
    case bcall::FindSym:
        return findSymbol(address);
    case bcall::LoadCIndPaged:
    case bcall::LoadDEIndPaged:
        return pagedRead(address);
    case bcall::FlashToRam:
        return flashToRam();
    default:
        return false;
    }
    scrambleRegisters();
    if (resultA) {
        z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>((*resultA << 8) | (z80ex_get_reg(cpu_, regAF) & 0x00FF)));
    }
    return true;
}

bool Calculator::osPointer(std::uint16_t address, std::size_t bytes, const char* call)
{
    // The OS maps its own pages into bank A (and expects RAM page 1 in
    // bank B) while it runs, so a pointer there reads something else.
    for (std::size_t i = 0; i < bytes; ++i) {
        const auto at = static_cast<std::uint16_t>(address + i);
        const PagedMemory::Bank& bank = memory_.bank(at);
        if ((at >= BankA && at < BankB) || (at >= BankB && at < ExecutionLimit && (bank.flash || bank.page != 1))) {
            setFault(std::string(call) + " given " + hex(address) + ", where the OS maps its own pages");
            return false;
        }
    }
    return true;
}

void Calculator::newLine()
{
    memory_.ram(ram::CurCol) = 0;
    if (memory_.ram(ram::CurRow) < 7) {
        ++memory_.ram(ram::CurRow);
        return;
    }
    // The home screen scrolls up a row.
    for (std::uint16_t i = 0; i < ram::TextShadowBytes; ++i) {
        memory_.ram(ram::TextShadow + i) = i + 16 < ram::TextShadowBytes ? memory_.ram(ram::TextShadow + i + 16) : ' ';
    }
}

void Calculator::putCharacter(std::uint8_t character)
{
    const std::uint8_t row = std::min<std::uint8_t>(memory_.ram(ram::CurRow), 7);
    const std::uint8_t column = std::min<std::uint8_t>(memory_.ram(ram::CurCol), 15);
    memory_.ram(ram::TextShadow + row * 16 + column) = character;
    printed_ += static_cast<char>(character);
    cursorHome_ = false;
    if (column == 15) {
        newLine();
    } else {
        memory_.ram(ram::CurCol) = static_cast<std::uint8_t>(column + 1);
    }
}

// _ChkFindSym and _FindSym: the VAT searched for OP1's name (and, for
// programs and AppVars, its type).
bool Calculator::findSymbol(std::uint16_t call)
{
    const std::uint8_t wanted = memory_.ram(ram::Op1) & 0x1F;
    std::string name;
    for (std::uint16_t i = 1; i <= 8 && memory_.ram(ram::Op1 + i) != 0; ++i) {
        name += static_cast<char>(memory_.ram(ram::Op1 + i));
    }
    const auto sameType = [](std::uint8_t a, std::uint8_t b) {
        const auto program = [](std::uint8_t t) { return t == ProgObj || t == ProtProgObj; };
        return a == b || (program(a) && program(b));
    };
    const std::uint16_t top = static_cast<std::uint16_t>(memory_.ram(ram::ProgPtr) | memory_.ram(ram::ProgPtr + 1) << 8);
    const std::uint16_t bottom = static_cast<std::uint16_t>(memory_.ram(ram::PTemp) | memory_.ram(ram::PTemp + 1) << 8);
    scrambleRegisters();
    for (std::uint16_t entry = top; entry > bottom;) {
        const std::uint8_t type = memory_.ram(entry) & 0x1F;
        const std::uint8_t length = memory_.ram(entry - 6u);
        std::string entryName;
        for (std::uint16_t i = 0; i < length; ++i) {
            entryName += static_cast<char>(memory_.ram(entry - 7u - i));
        }
        if (entryName == name && (call == bcall::FindSym || sameType(type, wanted))) {
            const std::uint16_t data =
                static_cast<std::uint16_t>(memory_.ram(entry - 3u) | memory_.ram(entry - 4u) << 8);
            const std::uint8_t page = memory_.ram(entry - 5u);
            z80ex_set_reg(cpu_, regHL, entry);
            z80ex_set_reg(cpu_, regDE, data);
            z80ex_set_reg(cpu_, regBC, static_cast<Z80EX_WORD>(page << 8 | length));
            z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>(type << 8 | (z80ex_get_reg(cpu_, regAF) & 0xFE)));
            return true;
        }
        entry = static_cast<std::uint16_t>(entry - 7u - length);
    }
    z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>(z80ex_get_reg(cpu_, regAF) | 0x01));
    return true;
}

// _LoadCIndPaged (C = the byte at B:HL) and _LoadDEIndPaged (DE = the word
// at B:HL). What they do with an address outside bank A, or a word across
// a page end, is not documented: those are faults.
bool Calculator::pagedRead(std::uint16_t call)
{
    const char* name = call == bcall::LoadCIndPaged ? "_LoadCIndPaged" : "_LoadDEIndPaged";
    const std::uint16_t hl = z80ex_get_reg(cpu_, regHL);
    const int page = z80ex_get_reg(cpu_, regBC) >> 8;
    const std::uint16_t bytes = call == bcall::LoadCIndPaged ? 1 : 2;
    if (hl < BankA || hl + bytes - 1 >= BankB) {
        setFault(std::string(name) + " given " + hex(hl) + ", outside 4000h-7FFFh" +
                 (hl + bytes - 1 == BankB ? " (a word across a page end)" : ""));
        return false;
    }
    if (page >= memory_.flashPages()) {
        setFault(std::string(name) + " given Flash page " + hex(static_cast<unsigned>(page), 2) + ", which this " +
                 std::string(hardware_.facts().name) + " does not have");
        return false;
    }
    const std::uint32_t at = FlashAddress{page, hl}.linear();
    const std::uint8_t low = memory_.flash()[at];
    const std::uint8_t high = bytes == 2 ? memory_.flash()[at + 1] : 0;
    scrambleRegisters();
    if (bytes == 1) {
        z80ex_set_reg(cpu_, regBC, static_cast<Z80EX_WORD>((z80ex_get_reg(cpu_, regBC) & 0xFF00) | low));
    } else {
        z80ex_set_reg(cpu_, regDE, static_cast<Z80EX_WORD>(high << 8 | low));
    }
    return true;
}

// _FlashToRam: BC bytes from A:HL (bank A) to DE in RAM, on across page
// ends into the next page.
bool Calculator::flashToRam()
{
    const int page = z80ex_get_reg(cpu_, regAF) >> 8;
    const std::uint16_t hl = z80ex_get_reg(cpu_, regHL);
    const std::uint16_t de = z80ex_get_reg(cpu_, regDE);
    const std::uint16_t count = z80ex_get_reg(cpu_, regBC);
    if (hl < BankA || hl >= BankB) {
        setFault("_FlashToRam given " + hex(hl) + ", outside 4000h-7FFFh");
        return false;
    }
    const std::uint32_t from = FlashAddress{page, hl}.linear();
    if (from + count > memory_.flash().size()) {
        setFault("_FlashToRam reads past the end of Flash");
        return false;
    }
    if (!osPointer(de, count, "_FlashToRam")) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t to = de + i;
        const std::uint8_t value = memory_.flash()[from + i];
        if (to >= 0x10000 || !writeAllowed(static_cast<std::uint16_t>(to), value)) {
            setFault("_FlashToRam writes to " + hex(to) + ", outside what the program may write");
            return false;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        memory_.ram(de + i) = memory_.flash()[from + i];
        if (inside(de + i, ProgramOrigin, programEnd_ - ProgramOrigin)) {
            programWritten_ = true;
        }
    }
    addTime(21ull * count);
    scrambleRegisters();
    return true;
}

std::uint64_t Calculator::stateDigest() const
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
    for (const std::uint16_t word : {pc(), sp(), z80ex_get_reg(cpu_, regI), z80ex_get_reg(cpu_, regIFF1),
                                     z80ex_get_reg(cpu_, regIM)}) {
        add(static_cast<std::uint8_t>(word & 0xFF));
        add(static_cast<std::uint8_t>(word >> 8));
    }
    // A screen the program wrote to the LCD itself came with no system call:
    // it keeps its registers (the interrupt handler only the main ones).
    if (lastScreenByLcd_) {
        for (const Z80_REG_T reg : {regAF, regBC, regDE, regHL, regIX, regIY}) {
            const std::uint16_t word = z80ex_get_reg(cpu_, reg);
            add(static_cast<std::uint8_t>(word & 0xFF));
            add(static_cast<std::uint8_t>(word >> 8));
        }
    }
    for (const std::uint8_t port : {port6_, port7_, port4_, port20_, keyGroups_}) {
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

bool Calculator::writeAllowed(std::uint16_t address, std::uint8_t value) const
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

std::uint8_t Calculator::readCallback(_z80_cpu_context*, std::uint16_t address, int m1, void* self)
{
    auto* c = static_cast<Calculator*>(self);
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

void Calculator::writeCallback(_z80_cpu_context*, std::uint16_t address, std::uint8_t value, void* self)
{
    auto* c = static_cast<Calculator*>(self);
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
    if (osAddress >= ProgramOrigin && osAddress < c->programEnd_) {
        c->programWritten_ = true;
    }
    if (osAddress >= StackBottom && osAddress < CallerStackPointer) {
        const bool pushed = address == static_cast<std::uint16_t>(c->spAtStep_ - 1) ||
                            address == static_cast<std::uint16_t>(c->spAtStep_ - 2);
        c->storedBelowSp_[osAddress - StackBottom] = !pushed;
    }
    c->memory_.ram(osAddress) = value;
}

std::uint8_t Calculator::pageValue(std::uint8_t value) const
{
    const bool ramPage = (value & hardware_.ramBit) != 0;
    return static_cast<std::uint8_t>(
        ramPage ? hardware_.ramBit | (value & (hardware_.facts().ramPages - 1))
                : (value & hardware_.flashPageMask) % hardware_.facts().flashPages);
}

void Calculator::mapBank(int bank, std::uint8_t value)
{
    const std::uint8_t page = pageValue(value);
    (bank == 1 ? port6_ : port7_) = page;
    const bool ramPage = (page & hardware_.ramBit) != 0;
    memory_.map(bank, !ramPage, page & ~hardware_.ramBit);
}

bool Calculator::lcdAccess()
{
    // The driver takes about 10 us over each command or data byte and drops
    // what comes sooner (the OS's screen copies keep to this).
    constexpr std::uint64_t gap = LcdAccessMicroseconds * ClockHz / 1'000'000;
    if (lastLcdAccess_ && clock_ - *lastLcdAccess_ < gap) {
        setFault("LCD accessed " + std::to_string((clock_ - *lastLcdAccess_) * 1'000'000 / ClockHz) +
                 " us after the last; it needs " + std::to_string(LcdAccessMicroseconds) + " us");
        return false;
    }
    lastLcdAccess_ = clock_;
    return true;
}

int Calculator::interruptMode() const
{
    return static_cast<int>(z80ex_get_reg(cpu_, regIM));
}

std::uint8_t Calculator::portRead(std::uint8_t port)
{
    switch (port) {
    case 0x01: {
        // Keys held down read 0 in the groups selected (0 bits of the mask).
        std::uint8_t answer = 0xFF;
        if (heldKey_ && clock_ < keyReleasedAt_) {
            const KeypadBit key = keypadBit(*heldKey_);
            if ((keyGroups_ >> key.group & 1) == 0) {
                answer = static_cast<std::uint8_t>(answer & ~(1 << key.bit));
            }
        }
        return answer;
    }
    case 0x02:
        return hardware_.port2;
    case 0x04:
        // Bit 3: the ON key is up; bit 1: the timer is waiting to interrupt.
        return static_cast<std::uint8_t>(0x08 | (tickPending_ ? 0x02 : 0x00));
    case 0x06:
        return port6_;
    case 0x07:
        return port7_;
    case 0x10:
        return lcd_.status();
    case 0x11:
        if (!lcdAccess()) {
            return 0xFF;
        }
        return lcd_.read();
    case 0x20:
        if (!hardware_.hasFastSpeed()) {
            setFault("port 20h is the link port on a TI-83 Plus");
            return 0xFF;
        }
        return port20_;
    case 0x21:
        if (!hardware_.port21) {
            setFault("read from port 21h, a mirror of the keypad port on a TI-83 Plus");
            return 0xFF;
        }
        return *hardware_.port21;
    default:
        setFault("read from port " + hex(port, 2));
        return 0xFF;
    }
}

void Calculator::portWrite(std::uint8_t port, std::uint8_t value)
{
    switch (port) {
    case 0x01:
        keyGroups_ = value;
        break;
    case 0x04:
        if ((value & 0x01) != 0) {
            setFault("write of " + hex(value, 2) + " to port 04h: memory map mode 1 is not emulated");
            return;
        }
        port4_ = value;
        timerPeriod_ = hardware_.timerPeriods[(value >> 1) & 3];
        nextTick_ = (clock_ / timerPeriod_ + 1) * timerPeriod_;
        break;
    case 0x06:
        mapBank(1, value);
        break;
    case 0x07:
        mapBank(2, value);
        break;
    case 0x10:
        if (!lcdAccess()) {
            return;
        }
        lcd_.command(value);
        break;
    case 0x11:
        if (!lcdAccess()) {
            return;
        }
        lcd_.write(value);
        if (lcd_.takeWholePicture()) {
            showScreen(lcd_.screen());
            lastScreenByLcd_ = true;
        } else {
            lcdRun_ = ShownScreen{{}, tstates(), programTStates_, halts_};
        }
        break;
    case 0x20:
        if (!hardware_.hasFastSpeed()) {
            setFault("port 20h is the link port on a TI-83 Plus");
            return;
        }
        // 1 to 3 all run at 15 MHz.
        port20_ = value & 0x03;
        clockPerTState_ = ClockHz / cpuHz();
        break;
    default:
        setFault("write to port " + hex(port, 2));
        return;
    }
    if (!lcd_.problem().empty()) {
        setFault(lcd_.problem());
    }
}

std::uint8_t Calculator::portReadCallback(_z80_cpu_context*, std::uint16_t port, void* self)
{
    return static_cast<Calculator*>(self)->portRead(static_cast<std::uint8_t>(port & 0xFF));
}

void Calculator::portWriteCallback(_z80_cpu_context*, std::uint16_t port, std::uint8_t value, void* self)
{
    static_cast<Calculator*>(self)->portWrite(static_cast<std::uint8_t>(port & 0xFF), value);
}

std::uint8_t Calculator::interruptVectorCallback(_z80_cpu_context*, void*)
{
    return 0xFF;
}

}  // namespace zoetra::calc
