#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zoetra {

// The calculators a video can be made for.
enum class CalculatorModel : std::uint8_t { Ti83Plus, Ti83PlusSe, Ti84Plus, Ti84PlusSe };

// Where a model's link assist (the hardware that receives a byte over the
// link port by itself) is driven: by port 00h bit 2 on the TI-83 Plus, by
// ports 08h-0Dh on the others (08h bit 7 turns it off). While it is on, the
// lines do not follow port 00h.
enum class LinkAssist : std::uint8_t { Port00h, Ports08hTo0Dh };

// What a program and the emulated calculator need to know of one model, in
// one descriptor per model. Each fact is kept here once: the emulated
// calculator keeps only the answers of its ports beside it
// (calc/ports/ModelPorts.h), and the player receives the facts it needs through the generated include
// of a build.
struct ModelFacts {
    CalculatorModel model;
    std::string_view key;   // the name on the command line
    std::string_view name;  // the name shown to the user

    int flashPages;  // 16 KB pages
    int ramPages;    // 16 KB pages
    // The first Flash page of the user archive (variables grow upwards from
    // it) and the page applications grow downwards from.
    int archiveFirstPage;
    int appsTopPage;

    std::uint32_t slowCpuHz;  // the speed every model starts at
    std::uint32_t fastCpuHz;  // 0 where the model has only the slow speed

    // The OS's timer interrupt at each setting of port 4 bits 1-2, fastest
    // first; the OS leaves it at the last, the slowest.
    std::array<double, 4> timerRatesHz;
    // The 32768 Hz crystal: the OS's timer runs from it, so keeps its rate
    // at either CPU speed, and so do the three crystal timers of ports
    // 30h-38h. Without it the timer divides the CPU's clock.
    bool crystal;
    LinkAssist linkAssist;

    // The OS's timer interrupt at its default (slowest) rate.
    double timerHz = timerRatesHz[3];
};

// Timer rates by port 4 bits 1-2: from the CPU's clock on the TI-83 Plus; from
// the crystal on the others, the slowest 32768 / 304 Hz.
inline constexpr std::array<double, 4> CpuClockTimerHz{560.0, 248.0, 170.0, 118.0};
inline constexpr std::array<double, 4> CrystalTimerHz{512.0, 227.5, 146.3, 32768.0 / 304.0};

inline constexpr std::array<ModelFacts, 4> Models{{
    {CalculatorModel::Ti83Plus, "ti83p", "TI-83 Plus", 32, 2, 0x08, 0x15, 6'000'000, 0, CpuClockTimerHz, false,
     LinkAssist::Port00h},
    {CalculatorModel::Ti83PlusSe, "ti83pse", "TI-83 Plus Silver Edition", 128, 8, 0x08, 0x69, 6'000'000, 15'000'000,
     CrystalTimerHz, true, LinkAssist::Ports08hTo0Dh},
    {CalculatorModel::Ti84Plus, "ti84p", "TI-84 Plus", 64, 8, 0x08, 0x29, 6'000'000, 15'000'000, CrystalTimerHz, true,
     LinkAssist::Ports08hTo0Dh},
    {CalculatorModel::Ti84PlusSe, "ti84pse", "TI-84 Plus Silver Edition", 128, 8, 0x08, 0x69, 6'000'000, 15'000'000,
     CrystalTimerHz, true, LinkAssist::Ports08hTo0Dh},
}};

// What the OS's own work costs a program, the same on every model: a whole
// screen copied to the LCD (_GrBufCpy), in T-states of the 6 MHz clock, as
// the LCD's pace sets it at either speed; and the timer interrupt's handler
// at each tick. The emulated calculator's figures (calc/Timing.h), which
// the players' budgets leave room for.
inline constexpr std::uint64_t OsScreenCopyTStates = 51'600;
inline constexpr std::uint64_t OsInterruptTStates = 3'000;

constexpr const ModelFacts& modelFacts(CalculatorModel model)
{
    return Models[static_cast<std::size_t>(model)];
}

constexpr std::optional<CalculatorModel> modelByKey(std::string_view key)
{
    for (const ModelFacts& facts : Models) {
        if (facts.key == key) {
            return facts.model;
        }
    }
    return std::nullopt;
}

}  // namespace zoetra
