#include "calc/Os.h"

#include <algorithm>

namespace zoetra::calc {

namespace {

constexpr std::uint16_t RstSystemCall = 0x0028;
constexpr std::uint16_t InterruptHandler = 0x0038;

}  // namespace

// Every system call the OS answers, by the address after rst 28h. A new
// one is a row here and its routine.
constexpr Os::SystemCall Os::Calls[] = {
    {bcall::GrBufCpy, &Os::grBufCpy},
    {bcall::GetCSC, &Os::getCsc},
    {bcall::GetKey, &Os::getKey},
    {bcall::ClrLCDFull, &Os::clrLcdFull},
    {bcall::ClrScrnFull, &Os::clrScrnFull},
    {bcall::GrBufClr, &Os::grBufClr},
    {bcall::HomeUp, &Os::homeUp},
    {bcall::RunIndicOff, &Os::runIndicOff},
    {bcall::RunIndicOn, &Os::runIndicOn},
    {bcall::DisableApd, &Os::disableApd},
    {bcall::EnableApd, &Os::enableApd},
    {bcall::PutC, &Os::putC},
    {bcall::PutS, &Os::putS},
    {bcall::NewLine, &Os::newLineCall},
    {bcall::DispHL, &Os::dispHl},
    {bcall::Mov9ToOP1, &Os::mov9ToOp1},
    {bcall::ChkFindSym, &Os::chkFindSym},
    {bcall::FindSym, &Os::findSym},
    {bcall::LoadCIndPaged, &Os::loadCIndPaged},
    {bcall::LoadDEIndPaged, &Os::loadDeIndPaged},
    {bcall::FlashToRam, &Os::flashToRam},
};

Os::Os(Machine& machine) : m_(machine), memory_(machine.memory()), archive_(memory_.flash(), machine.hardware().facts())
{
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
    m_.attach(*this);
}

OsEntry::Entered Os::enter(std::uint16_t address)
{
    switch (address) {
    case RstSystemCall:
        systemCall();
        return Entered::Ran;
    case LcdBusyQuick:
        lcdBusyQuick();
        return Entered::Ran;
    case InterruptHandler:
        return interruptHandler() ? Entered::Execute : Entered::Ran;
    case InterruptHandler + 1:
        return Entered::Execute;
    default:
        return Entered::None;
    }
}

void Os::systemCall()
{
    const std::uint16_t sp = m_.sp();
    const std::uint16_t back =
        static_cast<std::uint16_t>(memory_.read(sp) | (memory_.read(static_cast<std::uint16_t>(sp + 1)) << 8));
    const std::uint16_t address = static_cast<std::uint16_t>(memory_.read(back) |
                                                             (memory_.read(static_cast<std::uint16_t>(back + 1)) << 8));
    if (m_.reg(Reg::IY) != FlagsBase) {
        m_.setFault("system call " + hex(address) + " with IY " + hex(m_.reg(Reg::IY)) + " instead of the flags");
        return;
    }
    if (m_.port7() != m_.hardware().port7Default()) {
        m_.setFault("system call " + hex(address) + " with port 7 at " + hex(m_.port7(), 2) +
                    ", the OS's RAM not in bank B");
        return;
    }
    // The registers as the program passed them, given back when the call
    // does not happen now (a wait for a key, a fault).
    const std::uint16_t hl = m_.reg(Reg::HL);
    const std::uint16_t de = m_.reg(Reg::DE);
    const std::uint16_t bc = m_.reg(Reg::BC);
    const std::uint16_t af = m_.reg(Reg::AF);
    std::uint64_t cost = SystemCallTStates;
    // The first row of an address answers: there is one.
    static_assert([] {
        for (const SystemCall& a : Calls) {
            if (std::count_if(std::begin(Calls), std::end(Calls),
                              [&a](const SystemCall& b) { return b.address == a.address; }) != 1) {
                return false;
            }
        }
        return true;
    }());
    const auto call = std::find_if(std::begin(Calls), std::end(Calls),
                                   [address](const SystemCall& c) { return c.address == address; });
    if (call == std::end(Calls) || !(this->*call->routine)(cost)) {
        if (m_.fault().empty() && !m_.waitingForKey()) {
            m_.setFault("unknown system call " + hex(address));
        }
        for (const auto& [reg, value] : {std::pair{Reg::HL, hl}, {Reg::DE, de}, {Reg::BC, bc}, {Reg::AF, af}}) {
            m_.setReg(reg, value);
        }
        return;
    }
    calls_.push_back(address);
    m_.addTime(cost);
    m_.setReg(Reg::SP, static_cast<std::uint16_t>(sp + 2));
    m_.setReg(Reg::PC, static_cast<std::uint16_t>(back + 2));
}

// The OS's timer interrupt handler, entered at 0038h: in interrupt mode 1
// straight from the interrupt, in mode 2 from a program's own handler that
// goes on to it. Its work costs InterruptHandlerTStates; its ei / ret run
// as they stand.
bool Os::interruptHandler()
{
    if (m_.reg(Reg::IY) != FlagsBase) {
        m_.setFault("timer interrupt with IY " + hex(m_.reg(Reg::IY)) + " instead of the flags");
        return false;
    }
    if (m_.port7() != m_.hardware().port7Default()) {
        // The handler's flags and variables are in RAM page 1.
        m_.setFault("timer interrupt with port 7 at " + hex(m_.port7(), 2) + ", the OS's RAM not in bank B");
        return false;
    }
    // It acknowledges its timer through port 03h.
    m_.osHandlerRan();
    m_.addTime(InterruptHandlerTStates);
    // It works in the shadow registers and leaves them changed.
    for (const Reg reg : {Reg::AF_, Reg::BC_, Reg::DE_, Reg::HL_}) {
        m_.setReg(reg, static_cast<std::uint16_t>(m_.nextScramble()));
    }
    return true;
}

// A plain call into page 0: waits the LCD driver's 10 us, then returns.
void Os::lcdBusyQuick()
{
    m_.addLcdTime(LcdAccessMicroseconds * CpuHz / 1'000'000);
    const std::uint16_t sp = m_.sp();
    m_.setReg(Reg::PC,
              static_cast<std::uint16_t>(memory_.read(sp) | memory_.read(static_cast<std::uint16_t>(sp + 1)) << 8));
    m_.setReg(Reg::SP, static_cast<std::uint16_t>(sp + 2));
}

bool Os::returns()
{
    m_.scrambleRegisters();
    return true;
}

bool Os::returnsA(std::uint8_t a)
{
    m_.scrambleRegisters();
    m_.setReg(Reg::AF, static_cast<std::uint16_t>((a << 8) | (m_.reg(Reg::AF) & 0x00FF)));
    return true;
}

bool Os::osPointer(std::uint16_t address, std::size_t bytes, const char* call)
{
    // The OS maps its own pages into bank A (and expects RAM page 1 in
    // bank B) while it runs, so a pointer there reads something else.
    for (std::size_t i = 0; i < bytes; ++i) {
        const auto at = static_cast<std::uint16_t>(address + i);
        const PagedMemory::Bank& bank = memory_.bank(at);
        if ((at >= BankA && at < BankB) || (at >= BankB && at < ExecutionLimit && (bank.flash || bank.page != 1))) {
            m_.setFault(std::string(call) + " given " + hex(address) + ", where the OS maps its own pages");
            return false;
        }
    }
    return true;
}

// The screen.

bool Os::grBufCpy(std::uint64_t& cost)
{
    // The copy is seen once it is done.
    m_.addLcdTime(LcdFullWriteTStates);
    cost = 0;
    m_.showOsCopy(m_.plotSScreen());
    return returns();
}

bool Os::clrLcdFull(std::uint64_t& cost)
{
    m_.addLcdTime(LcdFullWriteTStates);
    cost = 0;
    m_.clearLcd();
    return returns();
}

bool Os::clrScrnFull(std::uint64_t& cost)
{
    m_.addLcdTime(LcdFullWriteTStates);
    cost = 0;
    m_.clearLcd();
    for (std::uint16_t i = 0; i < ram::TextShadowBytes; ++i) {
        memory_.ram(ram::TextShadow + i) = ' ';
    }
    textShadowCleared_ = true;
    cursorHome_ = false;
    return returns();
}

bool Os::grBufClr(std::uint64_t& cost)
{
    cost = BufferClearTStates;
    for (std::uint32_t i = 0; i < ScreenBytes; ++i) {
        memory_.ram(PlotSScreen + i) = 0;
    }
    return returns();
}

bool Os::runIndicOff(std::uint64_t&)
{
    runIndicator_ = false;
    return returns();
}

bool Os::runIndicOn(std::uint64_t&)
{
    runIndicator_ = true;
    return returns();
}

// Keys.

bool Os::getCsc(std::uint64_t&)
{
    const std::optional<Key> key = m_.keypad().take();
    return returnsA(key ? scanCode(*key) : 0);
}

bool Os::getKey(std::uint64_t&)
{
    if (!m_.keypad().keyWaiting()) {
        // Waits here, the call not yet made, until a key is pressed.
        m_.waitForKey();
        return false;
    }
    const std::uint8_t code = keyCode(*m_.keypad().take());
    m_.progressed();
    return returnsA(code);
}

bool Os::disableApd(std::uint64_t&)
{
    memory_.ram(FlagsBase + flag::ApdFlags) &= static_cast<std::uint8_t>(~(1 << flag::ApdAble));
    return returns();
}

bool Os::enableApd(std::uint64_t&)
{
    memory_.ram(FlagsBase + flag::ApdFlags) |= 1 << flag::ApdAble;
    return returns();
}

bool Os::apdEnabled() const
{
    return (memory_.ram(FlagsBase + flag::ApdFlags) >> flag::ApdAble & 1) != 0;
}

// The home screen's text.

bool Os::homeUp(std::uint64_t&)
{
    memory_.ram(ram::CurRow) = 0;
    memory_.ram(ram::CurCol) = 0;
    cursorHome_ = true;
    return returns();
}

bool Os::putC(std::uint64_t&)
{
    m_.addLcdTime(CharacterTStates);
    putCharacter(static_cast<std::uint8_t>(m_.reg(Reg::AF) >> 8));
    return returns();
}

bool Os::putS(std::uint64_t&)
{
    const std::uint16_t hl = m_.reg(Reg::HL);
    std::uint16_t at = hl;
    for (std::uint8_t c; (c = memory_.read(at)) != 0; ++at) {
        if (!osPointer(at, 1, "_PutS")) {
            return false;
        }
        if (at - hl >= 1000) {
            m_.setFault("_PutS given " + hex(hl) + ", with no end in its first 1000 characters");
            return false;
        }
        m_.addLcdTime(CharacterTStates);
        putCharacter(c);
    }
    return returns();
}

bool Os::newLineCall(std::uint64_t&)
{
    printed_ += '\n';
    newLine();
    return returns();
}

bool Os::dispHl(std::uint64_t&)
{
    // Five places, right-aligned with spaces.
    std::string digits = std::to_string(m_.reg(Reg::HL));
    digits.insert(0, 5 - digits.size(), ' ');
    for (const char c : digits) {
        m_.addLcdTime(CharacterTStates);
        putCharacter(static_cast<std::uint8_t>(c));
    }
    return returns();
}

void Os::newLine()
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

void Os::putCharacter(std::uint8_t character)
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

std::vector<std::string> Os::homeScreen() const
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

}  // namespace zoetra::calc
