// The port map: every port a program may use, what it answers and what a
// write does, in one place. A port that is not here faults the program. A
// new port is one case in each switch, with its device in calc/ports/ when
// it keeps state.
#include "calc/Machine.h"

#include <z80ex/z80ex.h>

namespace zoetra::calc {

std::uint64_t Machine::portTime() const
{
    // The access comes this many T-states into the instruction.
    return clock_ + static_cast<std::uint64_t>(z80ex_op_tstate(cpu_)) * clockPerTState_;
}

// Ports 30h-38h are the crystal timers where the model has the crystal; on
// the TI-83 Plus, 20h-3Fh mirror lower ports (30h the link port, or by
// another account the LCD's 10h), so a program that uses them there has not
// looked at the model.
bool Machine::crystalPort(std::uint8_t port, const char* access)
{
    if (hardware_.facts().crystal) {
        return true;
    }
    setFault(std::string(access) + " port " + hex(port, 2) +
             ": a TI-83 Plus has no crystal timers, and its ports 20h-3Fh mirror lower ports (the link port or the LCD)");
    return false;
}

std::uint8_t Machine::in(std::uint8_t port)
{
    if (port >= 0x30 && port <= 0x38) {
        return crystalPort(port, "read from") ? crystal_.read(port, portTime()) : 0xFF;
    }
    switch (port) {
    case 0x00:
        return link_.read();
    case 0x01:
        return keypad_.read(clock_);
    case 0x02:
        return hardware_.port2;
    case 0x03:
        return port3_;
    case 0x04: {
        // Bit 3: the ON key is up; bit 1: the timer is waiting to interrupt;
        // bits 5-7: the crystal timers that expired.
        const std::uint64_t now = portTime();
        timer_.advance(now);
        crystal_.advance(now);
        return static_cast<std::uint8_t>(0x08 | (timer_.pending() ? 0x02 : 0x00) | crystal_.expiredBits());
    }
    case 0x06:
        return port6_;
    case 0x07:
        return port7_;
    case 0x08:
        if (hardware_.facts().linkAssist != LinkAssist::Ports08hTo0Dh) {
            break;
        }
        return link_.readAssist();
    case 0x10:
        return lcd_.status();
    case 0x11:
        if (!lcdAccess()) {
            return 0xFF;
        }
        return lcd_.read();
    case 0x20:
        if (!hardware_.hasSpeedPort()) {
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
        break;
    }
    setFault("read from port " + hex(port, 2));
    return 0xFF;
}

void Machine::out(std::uint8_t port, std::uint8_t value)
{
    if (port >= 0x30 && port <= 0x38) {
        if (crystalPort(port, "write to")) {
            if (const std::string problem = crystal_.write(port, value, portTime(), clockPerTState_); !problem.empty()) {
                setFault(problem);
            } else if ((port - 0x30) % 3 == 1) {
                // The loop port is the acknowledge.
                taken_ &= static_cast<std::uint8_t>(~(1u << ((port - 0x30) / 3)));
            }
        }
        return;
    }
    switch (port) {
    case 0x00:
        if (const std::string problem = link_.write(value, portTime()); !problem.empty()) {
            setFault("write of " + hex(value, 2) + " to port 00h: " + problem);
        }
        break;
    case 0x02:
        // Writing 0 to bit 1 acknowledges the timer (the Silver Edition and
        // TI-84 Plus models; the TI-83 Plus ignores the write).
        if (hardware_.hasSpeedPort() && (value & 0x02) == 0) {
            acknowledgeOsTimer();
        }
        break;
    case 0x03:
        if ((value & 0x14) != 0) {
            setFault("write of " + hex(value, 2) + " to port 03h: the second timer's and the link's interrupts are "
                     "not emulated");
            return;
        }
        if ((value & 0xE0) != 0) {
            setFault("write of " + hex(value, 2) + " to port 03h: bits 5-7 are undocumented");
            return;
        }
        port3_ = value;
        // Bit 1 off acknowledges the timer and keeps it from interrupting.
        if ((value & 0x02) == 0) {
            acknowledgeOsTimer();
        }
        timer_.setEnabled((value & 0x02) != 0);
        break;
    case 0x01:
        keypad_.select(value);
        break;
    case 0x04:
        if ((value & 0x01) != 0) {
            setFault("write of " + hex(value, 2) + " to port 04h: memory map mode 1 is not emulated");
            return;
        }
        timer_.setRate(value, clock_);
        break;
    case 0x06:
        mapBank(1, value);
        break;
    case 0x07:
        mapBank(2, value);
        break;
    case 0x08:
        if (hardware_.facts().linkAssist != LinkAssist::Ports08hTo0Dh) {
            setFault("write to port 08h");
            return;
        }
        link_.writeAssist(value);
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
            showScreen(ShownScreen{lcd_.screen(), tstates(), programTStates_, halts_});
            lastScreenByLcd_ = true;
        } else {
            lcdRun_ = ShownScreen{{}, tstates(), programTStates_, halts_};
        }
        break;
    case 0x20:
        if (!hardware_.hasSpeedPort()) {
            setFault("port 20h is the link port on a TI-83 Plus");
            return;
        }
    {
        // 1 to 3 all run at 15 MHz.
        const std::uint64_t now = portTime();
        port20_ = value & 0x03;
        clockPerTState_ = ClockHz / cpuHz();
        crystal_.speedChanged(now, clockPerTState_);
        break;
    }
    default:
        setFault("write to port " + hex(port, 2));
        return;
    }
    if (!lcd_.problem().empty()) {
        setFault(lcd_.problem());
    }
}

bool Machine::lcdAccess()
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

// Ports 6 and 7 map a page into bank A or B: a RAM page where the model's
// RAM bit is set, else a Flash page; bits beyond the model's pages are
// ignored.
std::uint8_t Machine::pageValue(std::uint8_t value) const
{
    const bool ramPage = (value & hardware_.ramBit) != 0;
    return static_cast<std::uint8_t>(ramPage ? hardware_.ramBit | (value & (hardware_.facts().ramPages - 1))
                                             : value & hardware_.flashPageMask());
}

void Machine::mapBank(int bank, std::uint8_t value)
{
    const std::uint8_t page = pageValue(value);
    (bank == 1 ? port6_ : port7_) = page;
    const bool ramPage = (page & hardware_.ramBit) != 0;
    memory_.map(bank, !ramPage, page & ~hardware_.ramBit);
}

}  // namespace zoetra::calc
