#pragma once

#include "shared/CalculatorModel.h"

#include <cstdint>
#include <optional>

namespace zoetra::calc {

// What one model's ports answer a program, beside the facts every part of
// the system shares (ModelFacts): the emulator's own table, keyed by model.
struct ModelPorts {
    CalculatorModel model;
    // What port 2 reads: bit 0 battery good, bit 1 LCD ready, bit 2 Flash
    // unlocked (never, for a program), bit 5 the TI-84 Plus's USB, bit 7
    // 15 MHz capable.
    std::uint8_t port2;
    // Port 21h, the Flash size in bits 0-1 (1 = 2 MB); on the TI-83 Plus the
    // port mirrors the keypad's and a program has no business there.
    std::optional<std::uint8_t> port21;
    // Ports 6 and 7: the bit that maps a RAM page (the Flash page bits are
    // the model's pages).
    std::uint8_t ramBit;

    const ModelFacts& facts() const { return modelFacts(model); }
    // Port 20h, the CPU speed, is there where the model has a fast one.
    bool hasSpeedPort() const { return facts().fastCpuHz != 0; }
    std::uint8_t flashPageMask() const { return static_cast<std::uint8_t>(facts().flashPages - 1); }
    // Port 7 as the OS leaves it: RAM page 1.
    std::uint8_t port7Default() const { return static_cast<std::uint8_t>(ramBit | 1); }
};

const ModelPorts& modelPorts(CalculatorModel model);

}  // namespace zoetra::calc
