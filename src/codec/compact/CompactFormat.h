#pragma once

// The compact video stream, as the encoder writes it and the player's
// COMPACT decoder reads it.
//
// The stream is one run of bytes that holds two kinds of data, interleaved in
// the order the decoder needs them:
//  - bit bytes: whenever the decoder needs a bit and has used all eight bits
//    of the last bit byte, it takes the next stream byte as a new bit byte and
//    reads its bits from bit 7 down to bit 0;
//  - literal bytes: picture bytes, taken from the stream as they are needed.
// The bit reader starts empty at the start of the stream. A frame does not
// start a new bit byte: bits run on across frames.
//
// Numbers are Elias gamma codes, interlaced: a value n >= 1 with k bits below
// its leading 1 is sent as k pairs (0, next bit of n from the top) and a 1.
// So 1 is "1", 2 is "0 0 1", 3 is "0 1 1", 5 is "0 0 0 1 1".
//
// Every frame rebuilds the 768-byte screen in place, from byte 0 upwards, out
// of the screen as the frame before left it (the key frame out of nothing).
// A cursor p starts at 0; commands:
//  - keep n:      bytes p..p+n-1 stay as they are.
//  - literal n:   the next n stream bytes become bytes p..p+n-1.
//  - copy n, d:   byte by byte, screen[q] = screen[q - d] for q = p..p+n-1.
//                 A distance d > 0 reaches back into bytes of this frame
//                 (overlapping, as in LZ77: d = 1 repeats a byte); d < 0
//                 reaches ahead into bytes the previous frame left.
//  - repeat n:    copy n with the last distance used (1 at the start of the
//                 stream, kept across frames).
//  - end:         closes a segment. One bit follows: 0 = the frame is complete
//                 (bytes from p on stay as they are); 1 = a pause: the decoder
//                 waits for one timer tick, then goes on with the same frame
//                 at the same cursor, reading the next command as at a frame
//                 start.
//  - video end:   only where a frame or segment starts: nothing follows.
// The cursor advances by n after every command but end. A copy's distance is
// sent as gamma(|d|) and a bit, 1 for ahead (d < 0), 0 for back.
//
// Each command is sent as a type code, then its numbers (length last), then
// for literals the bytes. The type code depends on the command before it in
// the segment:
//
//   before \ type   keep   literal  copy   repeat  end    video end
//   (start)         1      001      0001   00001   01     00000
//   keep            -      1        01     00      -      -
//   literal         1      -        001    01      000    -
//   copy, repeat    1      01       001    -       000    -
//
// ("-": never follows; a keep never follows a keep, nor a literal a literal;
// a repeat after a copy would just lengthen it; a keep before an end is
// implied by the end.) The key frame uses literals, copies back and repeats
// only.
//
// Decoding time: the encoder keeps every frame's decoding within
// FrameBudgetTStates, and every segment within SegmentBudgetTStates so that
// it fits between two timer ticks; a frame has at most MaxSegments segments.

#include "shared/Screen.h"

#include <cstdint>

namespace zoetra::compact {

inline constexpr int ScreenSize = 768;
using zoetra::Screen;

enum class Command : std::uint8_t { Keep, Literal, Copy, Repeat, End, VideoEnd };

// What came before a command: the start of a segment or the command type.
enum class After : std::uint8_t { Start, Keep, Literal, Copy };

inline constexpr int InitialDistance = 1;

// T-states of the Z80 decoder in the player (6 MHz). The encoder adds them up
// per command; the reference decoder counts them as it reads.
namespace cost {
// One bit read (add a,a and call z not taken), and the extra for a bit that
// starts a new bit byte (the call taken: ld a,(hl), inc hl, rla, ret).
inline constexpr int Bit = 4 + 10;
inline constexpr int NewBitByte = 7 + 7 + 6 + 4 + 10;
inline constexpr int Taken = 12;    // jr
inline constexpr int NotTaken = 7;
// The gamma routine around its bits: call, ld bc,1 and the ret c; each data
// bit adds the continue test, rl c, rl b and the jump back.
inline constexpr int GammaFixed = 17 + 10 + 11;
inline constexpr int GammaPerDataBit = 5 + 8 + 8 + 12;
// Bodies: keep adds n to DE; literal and copy end in ldir (21 n - 5).
inline constexpr int KeepBody = 4 + 11 + 4;
inline constexpr int LdirPerByte = 21;
inline constexpr int LdirLess = 5;
inline constexpr int CopyBody = 11 + 16 + 11 + 10;       // push, ld hl,(Delta), add, pop
inline constexpr int DistanceBack = 7 + 11 + 10 + 4 + 15 + 16 + 10 + 12;
inline constexpr int DistanceAhead = 12 + 20 + 12;
// A frame: call and ld de,plotSScreen; the end bit's ret nc when complete.
inline constexpr int FrameEntry = 17 + 10;
inline constexpr int FrameComplete = 11;
// The pause between two segments, after the end bit (halt included).
inline constexpr int Pause = 5 + 11 + 13 + 4 + 7 + 4 + 13 + 10 + 4 + 12;
}  // namespace cost

// Limits the encoder keeps to.
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

// T-states of reading a type code and branching on it, without new bit
// bytes: a bit each, then the decoder's jr c per bit (taken on the 1 that
// ends a code, not taken on a 0), as its branches are laid out.
constexpr int typeCodeTStates(After before, Command type)
{
    using namespace cost;
    switch (before) {
    case After::Start:
        switch (type) {
        case Command::Keep: return Bit + Taken;
        case Command::End: return 2 * Bit + NotTaken + Taken;
        case Command::Literal: return 3 * Bit + 2 * NotTaken + Taken;
        case Command::Copy: return 4 * Bit + 3 * NotTaken + Taken;
        case Command::Repeat: return 5 * Bit + 4 * NotTaken + Taken;
        case Command::VideoEnd: return 5 * Bit + 5 * NotTaken + 4 + 10;  // scf, ret
        }
        return 0;
    case After::Keep:
        switch (type) {
        case Command::Literal: return Bit + Taken;
        case Command::Copy: return 2 * Bit + NotTaken + Taken;
        case Command::Repeat: return 2 * Bit + 2 * NotTaken;  // falls into repeat
        default: return 0;
        }
    case After::Literal:
        switch (type) {
        case Command::Keep: return Bit + Taken;
        case Command::Repeat: return 2 * Bit + NotTaken + Taken;
        case Command::Copy: return 3 * Bit + 3 * NotTaken;  // jr nc not taken, into copy
        case Command::End: return 3 * Bit + 2 * NotTaken + Taken;
        default: return 0;
        }
    case After::Copy:
        switch (type) {
        case Command::Keep: return Bit + Taken;
        case Command::Literal: return 2 * Bit + NotTaken + Taken;
        case Command::Copy: return 3 * Bit + 2 * NotTaken + Taken;
        case Command::End: return 3 * Bit + 3 * NotTaken;  // falls into the end
        default: return 0;
        }
    }
    return 0;
}

// Bits of gamma(n) and the T-states of reading them, without new bit bytes.
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
constexpr int gammaTStates(int n)
{
    return cost::GammaFixed + gammaLength(n) * cost::Bit + gammaDataBits(n) * cost::GammaPerDataBit;
}

}  // namespace zoetra::compact
