#pragma once

// The written video stream, as the converter writes it and the player's
// written decoder (player/DecodeWritten.z80) reads it:
//  - the key frame: 768 bytes in plotSScreen's layout;
//  - for every further frame, one change record of three bytes for each
//    screen byte that differs from the frame before, in increasing order:
//    the byte's offset, high byte (0..2) then low byte, and its new value;
//    the frame ends with FrameEndMarker (255);
//  - the video ends with VideoEndMarker (254) where a frame would start.
// A record never starts with 254 or 255, so a byte read where a record may
// start is a marker exactly when it is one of them.

#include "shared/Types.h"

namespace zoetra::written {

// A frame changing every byte: 768 records and the frame's end.
inline constexpr int MaxFrameBytes = 768 * 3 + 1;

// T-states of the player's written decoder, counted by the reference
// decoder per frame: the key frame's copy, each record, the marker.
namespace cost {
inline constexpr int KeyFrame = 10 + 10 + 10 + 768 * 21 - 5;  // ld hl / ld de / ld bc, ldir
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
}  // namespace cost

}  // namespace zoetra::written
