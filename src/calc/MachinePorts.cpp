// The port map: every port a program may use, what it answers and what a
// write does, in one place. A port that is not here faults the program. A
// new port is one case in each switch, with its device in calc/ports/ when
// it keeps state (the link port 00h, the crystal timers 30h-38h where the
// model has the crystal, ModelFacts::crystal).
#include "calc/Machine.h"

namespace zoetra::calc {

std::uint8_t Machine::in(std::uint8_t port)
{
    switch (port) {
    case 0x01:
        return keypad_.read(clock_);
    case 0x02:
        return hardware_.port2;
    case 0x04:
        // Bit 3: the ON key is up; bit 1: the timer is waiting to interrupt.
        return static_cast<std::uint8_t>(0x08 | (timer_.pending() ? 0x02 : 0x00));
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
        setFault("read from port " + hex(port, 2));
        return 0xFF;
    }
}

void Machine::out(std::uint8_t port, std::uint8_t value)
{
    switch (port) {
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
