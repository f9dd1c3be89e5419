#pragma once

#include "shared/CalculatorModel.h"

#include <array>
#include <cstdint>

namespace zoetra::calc {

// The hardware timer the OS takes its interrupt from, its rate set by port
// 04h bits 1-2. Time is in ClockHz steps. A tick waits as a request until
// it is acknowledged (by the OS's handler, or through port 03h or 02h);
// ticks missed meanwhile merge into that one request. Port 03h bit 1 off,
// it keeps its pace but requests nothing.
class OsTimer {
public:
    explicit OsTimer(const ModelFacts& facts);

    // Port 04h written (bit 0, the memory map mode, is the caller's): the
    // rate from `now` on.
    void setRate(std::uint8_t value, std::uint64_t now)
    {
        port_ = value;
        period_ = periods_[(value >> 1) & 3];
        restartAt(now);
    }
    // What port 04h was last given.
    std::uint8_t port() const { return port_; }

    // A tick is due by `now`.
    void advance(std::uint64_t now)
    {
        if (now >= nextTick_) {
            pending_ = pending_ || enabled_;
            restartAt(now);
        }
    }
    bool pending() const { return pending_; }
    void acknowledge() { pending_ = false; }
    void setEnabled(bool enabled)
    {
        enabled_ = enabled;
        pending_ = pending_ && enabled;
    }
    bool enabled() const { return enabled_; }
    std::uint64_t nextTick() const { return nextTick_; }
    // The OS took its own ticks up to `now`, none left waiting.
    void passedTo(std::uint64_t now)
    {
        restartAt(now);
        pending_ = false;
    }

private:
    void restartAt(std::uint64_t now) { nextTick_ = (now / period_ + 1) * period_; }

    std::array<std::uint64_t, 4> periods_;  // by port 4 bits 1-2
    std::uint8_t port_ = 0x06;              // the slowest rate, as the OS leaves it
    std::uint64_t period_;
    std::uint64_t nextTick_;
    bool pending_ = false;
    bool enabled_ = true;
};

}  // namespace zoetra::calc
