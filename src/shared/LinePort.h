#pragma once

#include <cstdint>

namespace zoetra {

// What a program writes to the link port's two lines (port 00h, bits 0 and
// 1: the tip and the ring; 1 pulls a line low), and when, in T-states from
// a moment of the recording's choosing. Sound is heard with both lines
// pulled low as the signal: its level is the share of the two pulled low.
struct LineEdge {
    std::int64_t tState = 0;
    std::uint8_t lines = 0;

    friend bool operator==(const LineEdge&, const LineEdge&) = default;
};

inline constexpr std::uint8_t LinesReleased = 0;
inline constexpr std::uint8_t BothLinesLow = 3;

// The sound's level while `lines` are written: 0, 0.5 or 1.
constexpr double lineLevel(std::uint8_t lines)
{
    return ((lines & 1) + ((lines >> 1) & 1)) * 0.5;
}

}  // namespace zoetra
