#pragma once

// How the dense stream's decisions take their contexts
// (docs/formats/dense.md, "Contexts"), as the player forms them.

#include "codec/dense/DenseFormat.h"

namespace zoetra::dense {

inline int pixelAt(const Screen& screen, int x, int y)
{
    if (x < 0 || x >= BytesPerRow * 8 || y < 0 || y >= Rows) {
        return 0;
    }
    return (screen[static_cast<std::size_t>(y * BytesPerRow + (x >> 3))] >> (7 - (x & 7))) & 1;
}

// The context of the pixel at (x, y): in the new screen `now` (pixels not
// decoded yet still hold the screen before) and the screen `before`. The
// bits are laid out as the decoder keeps them in one register while it
// walks along a row: from bit 7 down, above x-1, before x-1, now x-2, above
// x, before x, now x-1, above x+1, before x+1 ("above" is the row above in
// the new screen), so that the next pixel's context is this one's shifted
// by three with now x, above x+2 and before x+2 brought in. The first pixel
// of a byte takes now x-1 in the place of before x-1: the screen before
// left of the byte is gone where the left block changed. The row beside
// (`besideY`) is the row above, or the row below (pixelContextBelow).
inline int pixelContextBeside(const Screen& now, const Screen& before, int x, int y, int besideY)
{
    const int beforeLeft = (x & 7) == 0 ? pixelAt(now, x - 1, y) : pixelAt(before, x - 1, y);
    return pixelAt(now, x - 1, besideY) << 7 | beforeLeft << 6 | pixelAt(now, x - 2, y) << 5
        | pixelAt(now, x, besideY) << 4 | pixelAt(before, x, y) << 3 | pixelAt(now, x - 1, y) << 2
        | pixelAt(now, x + 1, besideY) << 1 | pixelAt(before, x + 1, y);
}
inline int pixelContext(const Screen& now, const Screen& before, int x, int y)
{
    return pixelContextBeside(now, before, x, y, y - 1);
}

// The context of a pixel of a row whose byte above is its byte before (a
// uniform row is one): the row above tells nothing the bits of the row
// before do not, so the row below takes its place, in the new screen as it
// stands: the screen before, but left of the block where the block left of
// it was decoded. Below the last row it is white.
inline int pixelContextBelow(const Screen& now, const Screen& before, int x, int y)
{
    return pixelContextBeside(now, before, x, y, y + 1);
}

// A uniform row: the byte above it in the new screen and its own byte in
// the screen before are the same and all white or all black. Such a row is
// first decided whole (context RowContext + rowContext): 1 = it is all that
// colour, and its pixels are not sent. Returns the colour, or -1.
inline int uniformRow(const Screen& now, const Screen& before, int column, int y)
{
    const std::uint8_t above = y > 0 ? now[static_cast<std::size_t>((y - 1) * BytesPerRow + column)] : 0;
    const std::uint8_t own = before[static_cast<std::size_t>(y * BytesPerRow + column)];
    if (above != own || (above != 0x00 && above != 0xFF)) {
        return -1;
    }
    return above == 0xFF ? 1 : 0;
}

// A uniform row's context: its colour, and whether the pixel right of it in
// the screen before and the one left of it in the new screen differ from it
// (black 0 to 3, white 4 to 7, as the player forms it most cheaply).
inline int rowContext(const Screen& now, const Screen& before, int column, int y, int colour)
{
    const int x = column * 8;
    return (colour == 0 ? 4 : 0) | (pixelAt(now, x - 1, y) != colour) << 1 | (pixelAt(before, x + 8, y) != colour);
}

// A copy (or kept) decision's context, for a row of a changed block: whether
// the byte above it in the new screen equals its own byte before.
inline int copyContext(std::uint8_t above, std::uint8_t ownBefore)
{
    return above == ownBefore ? 1 : 0;
}

// Which blocks are solid, as the decoder knows it while it walks a frame:
// a block not yet reached as it is in the screen before, one passed as
// this frame left it (the player keeps this in the blocks' flags).
using SolidMap = std::array<bool, BlockCount>;
inline SolidMap solidMap(const Screen& screen)
{
    SolidMap solid{};
    for (int block = 0; block < BlockCount; ++block) {
        solid[static_cast<std::size_t>(block)] = solidBlock(screen, block);
    }
    return solid;
}

// Whether a block, the block left of it and the block above it are solid
// (bits 0, 1 and 2), at the block's turn.
inline int solidNeighbourhood(const SolidMap& solid, int block)
{
    const int column = block % BlockColumns;
    const bool left = column > 0 && solid[static_cast<std::size_t>(block - 1)];
    const bool above = block >= BlockColumns && solid[static_cast<std::size_t>(block - BlockColumns)];
    return (solid[static_cast<std::size_t>(block)] ? 1 : 0) | (left ? 2 : 0) | (above ? 4 : 0);
}

// A block's context: whether it changed in the frame before, whether the
// blocks left of it and above it changed in this frame, and whether each of
// the three is solid (the block in the screen before, the two others as
// this frame left them).
inline int blockContext(const BlockFlags& flags, const SolidMap& solid, int block)
{
    const int column = block % BlockColumns;
    const int left = column > 0 ? flags[static_cast<std::size_t>(block - 1)] : 0;
    const int above = block >= BlockColumns ? flags[static_cast<std::size_t>(block - BlockColumns)] : 0;
    return flags[static_cast<std::size_t>(block)] | left << 1 | above << 2 | solidNeighbourhood(solid, block) << 3;
}

// A changed block's solid decision's context: the same three solid or not.
inline int solidContext(const SolidMap& solid, int block)
{
    return solidNeighbourhood(solid, block);
}

// A solid block's colour decision's context: the pixel above its top left
// pixel in the new screen, and its top left pixel in the screen before.
inline int colourContext(const Screen& now, const Screen& before, int block)
{
    const int x = (block % BlockColumns) * 8;
    const int top = (block / BlockColumns) * 8;
    return pixelAt(now, x, top - 1) << 1 | pixelAt(before, x, top);
}

}  // namespace zoetra::dense
