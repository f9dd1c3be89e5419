#pragma once

#include "shared/CalculatorModel.h"

#include <array>
#include <cstdint>
#include <optional>

namespace zoetra::calc {

// One model's hardware as a program sees it through its ports, beside the
// facts every part of the system shares (ModelFacts).
struct Hardware {
    CalculatorModel model;
    // What port 2 reads: bit 0 battery good, bit 1 LCD ready, bit 2 Flash
    // unlocked (never, for a program), bit 5 the TI-84 Plus's USB, bit 7
    // 15 MHz capable.
    std::uint8_t port2;
    // Port 21h, the Flash size in bits 0-1 (1 = 2 MB); on the TI-83 Plus the
    // port mirrors the keypad's and a program has no business there.
    std::optional<std::uint8_t> port21;
    // Ports 6 and 7: the bit that maps a RAM page, and the Flash page bits.
    std::uint8_t ramBit;
    std::uint8_t flashPageMask;
    // The OS timer's period for each setting of port 4 bits 1-2 (fastest
    // first), in ClockHz units.
    std::array<std::uint64_t, 4> timerPeriods;

    const ModelFacts& facts() const { return modelFacts(model); }
    bool hasFastSpeed() const { return facts().fastCpuHz != 0; }
    // Port 7 as the OS leaves it: RAM page 1.
    std::uint8_t port7Default() const { return static_cast<std::uint8_t>(ramBit | 1); }
};

const Hardware& hardware(CalculatorModel model);

}  // namespace zoetra::calc
