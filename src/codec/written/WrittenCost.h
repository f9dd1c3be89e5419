#pragma once

#include "shared/Screen.h"

namespace zoetra::written::cost {

// T-states of the player's written decoder (player/DecodeWritten.z80),
// counted by the reference decoder per frame: the key frame's copy, each
// record, the marker.
inline constexpr int KeyFrame = 10 + 10 + 10 + static_cast<int>(ScreenByteCount) * 21 - 5;  // ld hl / ld de / ld bc, ldir
// ld a,(hl) / add a,n / jr c at a frame's start (not taken for a record).
inline constexpr int FirstRecordTest = 7 + 7 + 7;
// One record: ld d,a / inc hl / ld a,(hl) / add a,n / ld e,a / jr nc (taken)
// / inc hl / ldi / ld a,(hl) / add a,n / jp nc.
inline constexpr int Record = 4 + 6 + 7 + 7 + 4 + 12 + 6 + 16 + 7 + 7 + 10;
// A record whose address crosses a 256-byte page: jr nc not taken, inc d.
inline constexpr int RecordPageCarry = 7 + 4 - 12;
// The marker: jr c taken when no record came first, inc hl, cp, jr z.
inline constexpr int MarkerNoRecords = 12 - 7;
inline constexpr int Marker = 6 + 7 + 12;

// A further frame of `records` change records, `carries` of them across a
// 256-byte page.
constexpr int frameTStates(int records, int carries)
{
    return FirstRecordTest + records * Record + carries * RecordPageCarry + Marker +
           (records == 0 ? MarkerNoRecords : 0);
}

}  // namespace zoetra::written::cost
