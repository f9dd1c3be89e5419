#pragma once

// The written stream (docs/formats/written.md): the key frame's 768 bytes,
// then per frame a record of three bytes (offset high, offset low, value)
// for each byte that changed, closed by FrameEndMarker; VideoEndMarker
// where a frame would start ends the video. The player's decoder is
// player/DecodeWritten.z80.

#include "shared/Screen.h"

#include <cstdint>

namespace zoetra::written {

inline constexpr std::uint8_t FrameEndMarker = 255;
inline constexpr std::uint8_t VideoEndMarker = 254;

// A frame changing every byte: a record for each and the frame's end.
inline constexpr int MaxFrameBytes = static_cast<int>(ScreenByteCount) * 3 + 1;

// plotSScreen starts at 9340h: a record whose offset's low byte is this or
// more carries into the address's high byte, which costs the decoder more.
inline constexpr int CarryingOffsetLow = 0xC0;

}  // namespace zoetra::written
