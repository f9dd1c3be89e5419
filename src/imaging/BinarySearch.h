#pragma once

#include "imaging/Grids.h"

namespace zoetra {

class FrameHistory;

// Direct binary search: starting from a first guess, toggles single pixels
// and swaps neighbours while that brings the picture as the eye sees it
// (both blurred by a small Gaussian) closer to the grey. Under a history it
// starts from the last frame's pixels, and every pixel and every screen byte
// that would change from the last frame costs extra, so the search changes
// only what the picture's change pays for.
//
// `levels` holds each pixel's target, 0 black .. 1 white; `fixed` marks the
// pixels outside the band, which keep their colour in `bits` (as does the
// unpacked column and row). `bits` comes in with the first guess.
struct SearchLevels {
    std::array<float, GridCells> levels{};
    std::array<std::uint8_t, GridCells> fixed{};
};
void searchBits(const SearchLevels& target, const FrameHistory* history, BitGrid& bits);

}  // namespace zoetra
