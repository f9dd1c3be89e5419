#pragma once

// The dense stream (docs/formats/dense.md): one binary arithmetic code over
// context-modelled decisions, per frame whether it ends the video, goes raw
// or compact, and the ways it goes (raw, copied or kept rows, solid
// blocks), then for each 8 x 8 block whether it changed and, if so, its
// rows; cut by flushes where bytes are sent as they are. The player's
// decoder is player/DecodeDense.z80. Here: the screen's blocks, the
// coder's states, the contexts' numbering and packed rows. How each
// context is formed is in DenseContexts.h, the decoder's T-states in
// DenseCost.h, a frame's decisions in DenseBlocks.h.

#include "shared/Screen.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zoetra::dense {

inline constexpr int ScreenSize = static_cast<int>(ScreenByteCount);
using zoetra::BytesPerRow;
inline constexpr int Rows = ScreenHeight;
// Blocks of 8 x 8 pixels: a byte wide, eight rows high.
inline constexpr int BlockColumns = BytesPerRow;
inline constexpr int BlockRows = ScreenHeight / 8;
inline constexpr int BlockCount = BlockColumns * BlockRows;
using zoetra::Screen;

// The LPS sizes a state can have, in 100h: from about a third of the
// interval down by a factor of about 0.8 to 1. After a decision that doubles
// A, a state moves one size down when the MPS came, two sizes up when the
// LPS came (one from the few largest sizes, where the two values are
// nearly as likely and a single LPS says little); the LPS at the largest
// size swaps MPS and LPS. Probability estimation by state changes only,
// without a multiplication anywhere.
inline constexpr std::array<std::uint8_t, 18> LpsSizes{86, 69, 55, 44, 35, 28, 23, 18, 14, 12, 9, 7, 6, 5, 4, 3, 2, 1};
inline constexpr std::uint8_t InitialState = 86;
inline constexpr int LpsStepsUp = 2;
inline constexpr int LpsOneStepSizes = 4;  // the largest sizes, whose LPS moves one size up

constexpr int lpsSizeIndex(int k)
{
    for (std::size_t i = 0; i < LpsSizes.size(); ++i) {
        if (LpsSizes[i] == k) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

constexpr std::uint8_t nextAfterMps(std::uint8_t state)
{
    const int i = lpsSizeIndex(state & 0x7F);
    const int next = i + 1 < static_cast<int>(LpsSizes.size()) ? i + 1 : i;
    return static_cast<std::uint8_t>((state & 0x80) | LpsSizes[static_cast<std::size_t>(next)]);
}

constexpr std::uint8_t nextAfterLps(std::uint8_t state)
{
    const int i = lpsSizeIndex(state & 0x7F);
    const int mps = (state & 0x80) ^ (i == 0 ? 0x80 : 0);
    const int steps = i < LpsOneStepSizes ? 1 : LpsStepsUp;
    const int next = i >= steps ? i - steps : 0;
    return static_cast<std::uint8_t>(mps | LpsSizes[static_cast<std::size_t>(next)]);
}

// The contexts, one state byte each: 512 pixel contexts (256 for the rows
// of changed blocks, 256 for uniform rows decided not whole, whose pixels
// go otherwise), then the others.
inline constexpr int PixelContexts = 512;
inline constexpr int UniformPixels = 256;  // + pixelContext
inline constexpr int BlockContext = PixelContexts;  // + blockContext
inline constexpr int BlockContexts = 64;
inline constexpr int EndContext = BlockContext + BlockContexts;
inline constexpr int RawContext = EndContext + 1;
inline constexpr int RawRowsContext = RawContext + 1;
inline constexpr int RowContext = RawRowsContext + 1;  // + rowContext
inline constexpr int CopyRowsContext = RowContext + 8;
inline constexpr int CopyContext = CopyRowsContext + 1;  // + copyContext
inline constexpr int CopyContexts = 2;  // copyContext
inline constexpr int PackedContext = CopyContext + CopyContexts;
inline constexpr int KeptRowsContext = PackedContext + 1;
inline constexpr int KeptContext = KeptRowsContext + 1;  // + copyContext
inline constexpr int SolidBlocksContext = KeptContext + CopyContexts;
inline constexpr int SolidContext = SolidBlocksContext + 1;  // + solidContext
inline constexpr int ColourContext = SolidContext + 8;  // + colourContext
inline constexpr int CompactContext = ColourContext + 4;
inline constexpr int LargeContext = CompactContext + 1;
inline constexpr int ContextCount = LargeContext + 1;

// A compact frame's bytes at most: the player's buffer of row bytes.
inline constexpr int CompactFrameBytes = ScreenSize;

// Packed raw rows: each row a 4-bit code, two to a byte (the first row in
// the high half). Codes 0 to 14 stand for the bytes below, all of one
// colour or with one change of colour; code 15 for the byte that follows
// the code byte (after the byte of the high half's row, when both are 15).
inline constexpr std::array<std::uint8_t, 15> EdgeBytes{0x00, 0xFF, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC,
                                                        0xFE, 0x7F, 0x3F, 0x1F, 0x0F, 0x07, 0x03};
inline constexpr int EscapeCode = 15;

inline int edgeCode(std::uint8_t row)
{
    for (std::size_t i = 0; i < EdgeBytes.size(); ++i) {
        if (EdgeBytes[i] == row) {
            return static_cast<int>(i);
        }
    }
    return EscapeCode;
}

// What the decoder keeps of each block between frames: 1 = it changed in
// the last frame. When a block's context is formed, its own entry and those
// right of it and below still hold the last frame's, those left of it and
// above this frame's. None changed at the start; after a raw frame all did.
using BlockFlags = std::array<std::uint8_t, BlockCount>;

// A block's byte of row `row` (0 to 7) in `screen`.
inline std::uint8_t blockByte(const Screen& screen, int block, int row)
{
    const int column = block % BlockColumns;
    const int top = (block / BlockColumns) * 8;
    return screen[static_cast<std::size_t>((top + row) * BytesPerRow + column)];
}

// Whether a block differs between two screens.
inline bool blockDiffers(const Screen& a, const Screen& b, int block)
{
    for (int row = 0; row < 8; ++row) {
        if (blockByte(a, block, row) != blockByte(b, block, row)) {
            return true;
        }
    }
    return false;
}

// A block of one row: its eight rows in `screen` the same.
inline bool oneRowBlock(const Screen& screen, int block)
{
    for (int row = 1; row < 8; ++row) {
        if (blockByte(screen, block, row) != blockByte(screen, block, 0)) {
            return false;
        }
    }
    return true;
}

// A solid block: its eight rows in `screen` all white or all black.
inline bool solidBlock(const Screen& screen, int block)
{
    const std::uint8_t first = blockByte(screen, block, 0);
    return (first == 0x00 || first == 0xFF) && oneRowBlock(screen, block);
}

// The rows of a block's record after its top row that differ from the row
// above them, and are kept in it (the others are marked in its mask).
inline int recordRowsKept(const Screen& screen, int block)
{
    int kept = 0;
    for (int row = 1; row < 8; ++row) {
        kept += blockByte(screen, block, row) != blockByte(screen, block, row - 1) ? 1 : 0;
    }
    return kept;
}
// The row bytes of a frame with raw rows, packed.
inline std::vector<std::uint8_t> packRows(const std::vector<std::uint8_t>& rows)
{
    std::vector<std::uint8_t> packed;
    for (std::size_t i = 0; i < rows.size(); i += 2) {
        const bool pair = i + 1 < rows.size();
        const int high = edgeCode(rows[i]);
        const int low = pair ? edgeCode(rows[i + 1]) : 0;
        packed.push_back(static_cast<std::uint8_t>(high << 4 | low));
        if (high == EscapeCode) {
            packed.push_back(rows[i]);
        }
        if (pair && low == EscapeCode) {
            packed.push_back(rows[i + 1]);
        }
    }
    return packed;
}

}  // namespace zoetra::dense
