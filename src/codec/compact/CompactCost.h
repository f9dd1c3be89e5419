#pragma once

#include "codec/compact/CompactFormat.h"

namespace zoetra::compact {

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

// The T-states of reading gamma(n), without new bit bytes.
constexpr int gammaTStates(int n)
{
    return cost::GammaFixed + gammaLength(n) * cost::Bit + gammaDataBits(n) * cost::GammaPerDataBit;
}

}  // namespace zoetra::compact
