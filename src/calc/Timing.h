#pragma once

#include "shared/CalculatorModel.h"

#include <cstdint>

namespace zoetra::calc {

// Emulated time is reported in T-states of the TI-83 Plus's 6 MHz Z80,
// whatever the CPU's speed.
inline constexpr std::uint64_t CpuHz = modelFacts(CalculatorModel::Ti83Plus).slowCpuHz;
inline constexpr std::uint64_t FastCpuHz = modelFacts(CalculatorModel::Ti84Plus).fastCpuHz;
// Inside, the emulator counts time in steps of this rate, a multiple of both
// CPU speeds: a 6 MHz T-state is 5 steps, a 15 MHz one 2.
inline constexpr std::uint64_t ClockHz = 30'000'000;
inline constexpr std::uint64_t ClockPerTState = ClockHz / CpuHz;

// The OS sets the hardware timer to interrupt about 118 times a second on
// the TI-83 Plus (about 108 on later models); the player paces its frames by
// these ticks (FRAME_HALTS in player/VID.z80).
inline constexpr auto TimerHz = static_cast<std::uint64_t>(modelFacts(CalculatorModel::Ti83Plus).timerHz);
inline constexpr std::uint64_t TimerPeriodTStates = CpuHz / TimerHz;

// What the emulated OS calls cost. The LCD driver needs about 10 us between
// accesses, so a whole-screen write (768 data bytes and the row commands)
// takes about 51,600 T-states, 8.6 ms: about one timer tick, as the player's
// pacing assumes for _GrBufCpy. Clearing the LCD writes as many bytes. The
// LCD sets this pace, so these take as long at 15 MHz.
inline constexpr std::uint64_t LcdFullWriteTStates = OsScreenCopyTStates;
inline constexpr std::uint64_t LcdAccessMicroseconds = 10;
// A program that rewrites only part of the LCD shows a picture with a run of
// writes: the run ends when the LCD is left alone this long, longer than
// the timer interrupt's handler takes between two writes.
inline constexpr std::uint64_t LcdRunEndMicroseconds = 1'000;
// _GrBufClr fills 768 bytes of RAM, as ldir would (21 T-states a byte).
inline constexpr std::uint64_t BufferClearTStates = 768 * 21;
// Every other call: the OS's dispatch through rst 28h (a table look-up and a
// page switch) and a little work; an estimate, small against a tick.
inline constexpr std::uint64_t SystemCallTStates = 300;
// A character drawn on the home screen: a font look-up and 8 rows to the
// LCD, about 10 us each; an estimate.
inline constexpr std::uint64_t CharacterTStates = 1'000;
// The OS's timer interrupt handler, beyond the ei / ret that end it here: it
// scans the keypad, counts down the power-off timer and blinks the cursor.
// An estimate (about 250 instructions), not a measurement: a twentieth of a
// tick at 6 MHz, which a player's pace must leave room for.
inline constexpr std::uint64_t InterruptHandlerTStates = OsInterruptTStates;

// A program that shows no new frame for this long, while not waiting for a
// key, has run away.
inline constexpr std::uint64_t FrameTimeoutSeconds = 10;

inline constexpr double seconds(std::uint64_t tstates)
{
    return static_cast<double>(tstates) / static_cast<double>(CpuHz);
}

}  // namespace zoetra::calc
