#pragma once

#include "calc/HardwareReadings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace zoetra::calc {

inline constexpr std::uint64_t CrystalHz = 32'768;

// The three crystal timers of ports 30h-38h (timer 1: 30h frequency, 31h
// loop, 32h counter; timer 2: 33h-35h; timer 3: 36h-38h) on the models
// with the 32768 Hz crystal. A timer counts down from the value written to
// its counter port at the rate its frequency port selects, the crystal
// divided or the CPU's clock divided; at 0 it expires: its bit in port 04h
// (5-7) is set, it interrupts if loop-port bit 1 is set, and it starts
// over from that value if loop-port bit 0 is set, else stops. Writing the
// loop port acknowledges it; an expiry before that is an overflow, after
// which it runs on in periods of 256 ticks. Time is in ClockHz steps; a
// tick falls where elapsed time x rate reaches a whole number, with no
// rounding, so periods never drift.
class CrystalTimers {
public:
    explicit CrystalTimers(const HardwareReadings& readings) : readings_(readings) {}

    // Ports 30h-38h at `now`. A write returns the fault it is (an
    // undocumented or unemulated value), else empty; `clockPerTState` is
    // the CPU's speed.
    std::uint8_t read(std::uint8_t port, std::uint64_t now);
    std::string write(std::uint8_t port, std::uint8_t value, std::uint64_t now, std::uint64_t clockPerTState);
    // The CPU's speed changes at `now`: timers counting its clock go on at
    // the new speed from the T-state they had reached.
    void speedChanged(std::uint64_t now, std::uint64_t clockPerTState);
    // Every expiry due by `now`.
    void advance(std::uint64_t now);
    // When the next expiry that interrupts comes.
    std::optional<std::uint64_t> nextInterrupt() const;

    // Port 04h bits 5-7: the timers that expired since their loop port was
    // last written.
    std::uint8_t expiredBits() const;
    // Bit i: timer i + 1 waits to interrupt.
    std::uint8_t pending() const;
    // Bit i: timer i + 1 interrupts now or will (it waits to, or runs with
    // its interrupt on).
    std::uint8_t interrupting() const;
    // What writing timer i's loop port with its own value does.
    void acknowledge(int timer);

    // Everything a program can see of the timers, for the loop detection.
    template <typename Add>
    void addState(Add add, std::uint64_t now) const
    {
        for (std::size_t i = 0; i < timers_.size(); ++i) {
            const Timer& t = timers_[i];
            add(t.control);
            add(t.loop);
            add(t.reload);
            add(counter(t, now));
            add(static_cast<std::uint8_t>(t.running | t.expired << 1 | t.overflow << 2 | t.pending << 3 | t.free << 4));
        }
    }

private:
    struct Timer {
        std::uint8_t control = 0;  // the frequency port as written
        std::uint8_t loop = 0;     // loop-port bits 0-1
        std::uint8_t count = 0;    // what the counter port reads while stopped
        std::uint8_t reload = 0;   // the value written to the counter port
        bool running = false;
        bool free = false;  // a count of 0 running with no expiry
        bool expired = false;
        bool overflow = false;
        bool pending = false;
        // Ticks count from `anchor`; tick k falls at anchor + ceil(k * num / den).
        std::int64_t anchor = 0;
        std::uint64_t num = 1;
        std::uint64_t den = 1;
        std::uint64_t next = 0;  // the tick of the next expiry
    };

    static std::uint64_t ticksBy(const Timer& t, std::uint64_t now);
    static std::uint64_t clockOf(const Timer& t, std::uint64_t tick);
    static std::uint8_t counter(const Timer& t, std::uint64_t now);
    void expire(Timer& t);

    const HardwareReadings& readings_;
    std::array<Timer, 3> timers_{};
};

}  // namespace zoetra::calc
