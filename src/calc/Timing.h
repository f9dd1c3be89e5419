#pragma once

#include <cstdint>

namespace zoetra::calc {

// The TI-83 Plus's Z80 runs at 6 MHz; emulated time is counted in its
// T-states.
inline constexpr std::uint64_t CpuHz = 6'000'000;

// The OS sets the hardware timer to interrupt about 118 times a second on
// the TI-83 Plus (about 108 on later models); the player paces its frames by
// these ticks (FRAME_HALTS in player/VID.z80).
inline constexpr std::uint64_t TimerHz = 118;
inline constexpr std::uint64_t TimerPeriodTStates = CpuHz / TimerHz;

// What the emulated OS calls cost. The LCD driver needs about 10 us between
// accesses, so a whole-screen write (768 data bytes and the row commands)
// takes about 51,600 T-states, 8.6 ms: about one timer tick, as the player's
// pacing assumes for _GrBufCpy. Clearing the LCD writes as many bytes.
inline constexpr std::uint64_t LcdFullWriteTStates = 51'600;
// _GrBufClr fills 768 bytes of RAM, as ldir would (21 T-states a byte).
inline constexpr std::uint64_t BufferClearTStates = 768 * 21;
// Every other call: the OS's dispatch through rst 28h (a table look-up and a
// page switch) and a little work; an estimate, small against a tick.
inline constexpr std::uint64_t SystemCallTStates = 300;

// A program that shows no new frame for this long, while not waiting for a
// key, has run away.
inline constexpr std::uint64_t FrameTimeoutSeconds = 10;

inline constexpr double seconds(std::uint64_t tstates)
{
    return static_cast<double>(tstates) / static_cast<double>(CpuHz);
}

}  // namespace zoetra::calc
