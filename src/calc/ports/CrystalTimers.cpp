#include "calc/ports/CrystalTimers.h"

#include "calc/Timing.h"

#include <algorithm>
#include <limits>

namespace zoetra::calc {

std::string hex(unsigned value, int digits);

namespace {

// Frequency-port values 40h-47h: the crystal divided by these.
constexpr std::array<std::uint64_t, 8> CrystalDivisors{3, 33, 328, 3277, 1, 16, 256, 4096};

std::string portName(std::uint8_t port)
{
    return "port " + hex(port, 2);
}

// The CPU clock's divider of a frequency-port value 80h-BFh: one bit of
// bits 0-5, or none; anything else is undocumented.
std::optional<std::uint64_t> cpuDivider(std::uint8_t value)
{
    const unsigned bits = value & 0x3F;
    if (bits == 0) {
        return 1;
    }
    if ((bits & (bits - 1)) != 0) {
        return std::nullopt;
    }
    std::uint64_t divider = 2;
    for (unsigned b = bits; b > 1; b >>= 1) {
        divider *= 2;
    }
    return divider;
}

}  // namespace

std::uint64_t CrystalTimers::ticksBy(const Timer& t, std::uint64_t now)
{
    const std::int64_t since = static_cast<std::int64_t>(now) - t.anchor;
    return since <= 0 ? 0 : static_cast<std::uint64_t>(since) * t.den / t.num;
}

std::uint64_t CrystalTimers::clockOf(const Timer& t, std::uint64_t tick)
{
    return static_cast<std::uint64_t>(t.anchor + static_cast<std::int64_t>((tick * t.num + t.den - 1) / t.den));
}

std::uint8_t CrystalTimers::counter(const Timer& t, std::uint64_t now)
{
    if (!t.running) {
        return t.count;
    }
    const std::uint64_t ticks = ticksBy(t, now);
    if (t.free) {
        return static_cast<std::uint8_t>(t.next - ticks % 256);
    }
    return static_cast<std::uint8_t>(t.next - std::min(ticks, t.next));
}

std::uint8_t CrystalTimers::read(std::uint8_t port, std::uint64_t now)
{
    advance(now);
    const Timer& t = timers_[(port - 0x30) / 3];
    switch ((port - 0x30) % 3) {
    case 0:
        return t.control;
    case 1: {
        const std::uint8_t overflow =
            readings_.overflowBit == HardwareReadings::OverflowBit::Bit2 ? 0x04 : 0x08;
        return static_cast<std::uint8_t>(t.loop | (t.overflow ? overflow : 0));
    }
    default:
        return counter(t, now);
    }
}

std::string CrystalTimers::write(std::uint8_t port, std::uint8_t value, std::uint64_t now, std::uint64_t clockPerTState)
{
    advance(now);
    Timer& t = timers_[(port - 0x30) / 3];
    const std::string written = "write of " + hex(value, 2) + " to " + portName(port);
    switch ((port - 0x30) % 3) {
    case 0:
        // 00h off; 40h-47h the crystal divided; 80h-A0h the CPU's clock divided.
        if (value >= 0xC0) {
            return written + ": the CPU clock with port 2Fh's prescaler is not emulated";
        }
        if ((value >= 0x48 && value < 0x80) || (value > 0x00 && value < 0x40) ||
            (value >= 0x80 && !cpuDivider(value))) {
            return written + ": an undocumented frequency setting";
        }
        // Writing it stops the timer, which keeps its count.
        t.count = counter(t, now);
        t.running = false;
        t.control = value;
        return {};
    case 1:
        if ((value & ~0x03) != 0) {
            return written + ": only bits 0-1 (loop, interrupt) are documented";
        }
        t.loop = value;
        t.expired = false;
        t.overflow = false;
        t.pending = false;
        return {};
    default:
        t.count = value;
        if ((t.control & 0xC0) == 0) {
            return {};  // no clock: it waits
        }
        t.reload = value;
        t.running = true;
        t.anchor = static_cast<std::int64_t>(now);
        if ((t.control & 0x80) == 0) {
            t.num = CrystalDivisors[t.control & 0x07] * ClockHz;
            t.den = CrystalHz;
        } else {
            t.num = *cpuDivider(t.control) * clockPerTState;
            t.den = 1;
        }
        t.free = value == 0 && readings_.countZero == HardwareReadings::CountZero::RunsFree;
        t.next = value == 0 ? 256 : value;
        return {};
    }
}

void CrystalTimers::speedChanged(std::uint64_t now, std::uint64_t clockPerTState)
{
    advance(now);
    for (Timer& t : timers_) {
        if (!t.running || (t.control & 0x80) == 0) {
            continue;
        }
        // Ticks and T-states reached so far keep their numbers; the rest run
        // at the new speed.
        const std::uint64_t ticks = ticksBy(t, now);
        const std::uint64_t oldPerTState = t.num / *cpuDivider(t.control);
        const auto since = static_cast<std::uint64_t>(static_cast<std::int64_t>(now) - t.anchor);
        const std::uint64_t partTStates = (since - ticks * t.num) / oldPerTState;
        t.num = *cpuDivider(t.control) * clockPerTState;
        t.anchor = static_cast<std::int64_t>(now) - static_cast<std::int64_t>(ticks * t.num + partTStates * clockPerTState);
    }
}

void CrystalTimers::expire(Timer& t)
{
    if (t.expired) {
        // Missed: the counter carries to FFh and counts on from there,
        // whether it loops or not.
        t.overflow = true;
        t.pending = t.pending || (t.loop & 0x02) != 0;
        t.next += 256;
        return;
    }
    t.expired = true;
    t.pending = t.pending || (t.loop & 0x02) != 0;
    if ((t.loop & 0x01) != 0) {
        t.next += t.reload == 0 ? 256 : t.reload;
    } else {
        t.running = false;
        t.count = 0;
    }
}

void CrystalTimers::advance(std::uint64_t now)
{
    for (Timer& t : timers_) {
        while (t.running && !t.free && clockOf(t, t.next) <= now) {
            expire(t);
        }
    }
}

std::optional<std::uint64_t> CrystalTimers::nextInterrupt() const
{
    std::optional<std::uint64_t> next;
    for (const Timer& t : timers_) {
        if (t.running && !t.free && (t.loop & 0x02) != 0) {
            const std::uint64_t at = clockOf(t, t.next);
            next = next ? std::min(*next, at) : at;
        }
    }
    return next;
}

std::uint8_t CrystalTimers::expiredBits() const
{
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        bits |= timers_[i].expired ? static_cast<std::uint8_t>(0x20 << i) : 0;
    }
    return bits;
}

std::uint8_t CrystalTimers::pending() const
{
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        bits |= timers_[i].pending ? static_cast<std::uint8_t>(1 << i) : 0;
    }
    return bits;
}

std::uint8_t CrystalTimers::interrupting() const
{
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < timers_.size(); ++i) {
        const Timer& t = timers_[i];
        if (t.pending || (t.running && !t.free && (t.loop & 0x02) != 0)) {
            bits |= static_cast<std::uint8_t>(1 << i);
        }
    }
    return bits;
}

void CrystalTimers::acknowledge(int timer)
{
    Timer& t = timers_[static_cast<std::size_t>(timer)];
    t.expired = false;
    t.overflow = false;
    t.pending = false;
}

}  // namespace zoetra::calc
