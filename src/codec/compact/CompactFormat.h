#pragma once

// The compact stream (docs/formats/compact.md): bit-packed commands that
// rebuild the screen in place from the one before (keep, literal, copy,
// repeat, end), each behind a type code that depends on the command before
// it, with interlaced Elias gamma numbers. The player's decoder is
// player/DecodeCompact.z80; its T-states are in CompactCost.h.

#include "shared/Screen.h"

#include <cstdint>

namespace zoetra::compact {

inline constexpr int ScreenSize = static_cast<int>(ScreenByteCount);
using zoetra::Screen;

enum class Command : std::uint8_t { Keep, Literal, Copy, Repeat, End, VideoEnd };

// What came before a command: the start of a segment or the command type.
enum class After : std::uint8_t { Start, Keep, Literal, Copy };

inline constexpr int InitialDistance = 1;

// Limits the encoder keeps to: every frame's decoding within
// FrameBudgetTStates, every segment within SegmentBudgetTStates so that it
// fits between two timer ticks, at most MaxSegments segments a frame.
inline constexpr int FrameBudgetTStates = 148000;
inline constexpr int SegmentBudgetTStates = 40000;
inline constexpr int MaxSegments = 6;
// A frame never takes more bytes than this: at worst it is sent as
// literals, 768 bytes and a few bytes of codes.
inline constexpr int MaxFrameBytes = 1024;

// A type code: its bits, first bit highest, and how many.
struct TypeCode {
    std::uint8_t bits = 0;
    std::uint8_t length = 0;  // 0: not allowed here
};

// The type code of a command after `before` (the table in the format's
// document); length 0 where it never follows.
constexpr TypeCode typeCode(After before, Command type)
{
    constexpr TypeCode no{};
    switch (before) {
    case After::Start:
        switch (type) {
        case Command::Keep: return {0b1, 1};
        case Command::End: return {0b01, 2};
        case Command::Literal: return {0b001, 3};
        case Command::Copy: return {0b0001, 4};
        case Command::Repeat: return {0b00001, 5};
        case Command::VideoEnd: return {0b00000, 5};
        }
        return no;
    case After::Keep:
        switch (type) {
        case Command::Literal: return {0b1, 1};
        case Command::Copy: return {0b01, 2};
        case Command::Repeat: return {0b00, 2};
        default: return no;
        }
    case After::Literal:
        switch (type) {
        case Command::Keep: return {0b1, 1};
        case Command::Repeat: return {0b01, 2};
        case Command::Copy: return {0b001, 3};
        case Command::End: return {0b000, 3};
        default: return no;
        }
    case After::Copy:
        switch (type) {
        case Command::Keep: return {0b1, 1};
        case Command::Literal: return {0b01, 2};
        case Command::Copy: return {0b001, 3};
        case Command::End: return {0b000, 3};
        default: return no;
        }
    }
    return no;
}

// Bits of gamma(n): its data bits below the leading 1, and all of them.
constexpr int gammaDataBits(int n)
{
    int k = 0;
    while ((n >> (k + 1)) != 0) {
        ++k;
    }
    return k;
}
constexpr int gammaLength(int n)
{
    return 2 * gammaDataBits(n) + 1;
}

}  // namespace zoetra::compact
