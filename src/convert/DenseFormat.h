#pragma once

// The dense video stream, as the encoder writes it and the player's DENSE
// decoder reads it.
//
// The stream is one binary arithmetic code over context-modelled decisions,
// cut only where a frame is sent raw.
//
// The coder. The decoder holds the interval size A (16 bits, at least 8000h
// after every decision) and the code offset D (0 <= D < A). It starts with
// A = 8000h and D = the next two stream bytes, high byte first. A decision
// in a context whose state has the LPS size q (QeTable) and the likely value
// MPS splits the interval into a bottom part of size A - q and a top part of
// size q:
//  - A - q >= 8000h (the fast path): the bottom is the MPS, the top the LPS;
//  - A - q <  8000h: the smaller part takes the LPS (if A - q < q, the bottom
//    is the LPS and the top the MPS: the conditional exchange).
// D < A - q chooses the bottom (A = A - q), else the top (D = D - (A - q),
// A = q). Whenever A < 8000h afterwards, both A and D double, D taking the
// next stream bit (bytes read high bit first), until A >= 8000h. A context's
// state changes only then: after an MPS to NextMps, after an LPS to NextLps,
// and the MPS flips where the table says so. Every state starts at 0 with
// MPS 0.
//
// Where a frame is sent raw, the coder is flushed: the encoder writes out
// what is left of its code (the decoder has read exactly these bits
// already), pads to a whole byte with 0s, the 768 screen bytes follow as
// they are, and the coder starts again as at the stream start (A = 8000h, D
// = the next two bytes; the contexts keep their states). The end of the
// video flushes the same way, with nothing after it.
//
// Frames. The decoder keeps the screen before (all white before the first
// frame) and builds each frame in a new one. Per frame, in this order:
//  - pause (context PauseContext + pauseContext): 1 = wait for a timer tick
//    first;
//  - end (context EndContext): 1 = the video ends here;
//  - raw (context RawContext): 1 = the 768 bytes follow raw, as above;
//  - else the screen before is copied to the new one, and for each of the 96
//    blocks of 8 x 8 pixels (one byte wide, eight rows high), row of blocks
//    by row of blocks, left to right:
//      - changed (context BlockContext + blockContext): 0 = the block stays;
//      - if 1: pause (context PauseContext + pauseContext), then its 64
//        pixels, row by row
//        from the top, leftmost first, each a decision in the context
//        pixelContext (12 pixels around it, in the new screen as it stands
//        and in the screen before).
// After a raw frame, the next frame starts directly with its pause decision.
//
// Time: the player decodes ahead into a ring of frames, one piece of the
// stream per timer tick: a pause decision of 1 ends a piece. The encoder
// keeps every piece within the tick budget of the target, counted with the
// T-states below, and checks with the player's schedule (DensePacing.h) that
// the ring never runs dry.

#include "shared/Screen.h"

#include <array>
#include <cstdint>

namespace zoetra::dense {

inline constexpr int ScreenSize = 768;
inline constexpr int BytesPerRow = 12;
inline constexpr int Rows = 64;
inline constexpr int BlockColumns = 12;
inline constexpr int BlockRows = 8;
inline constexpr int BlockCount = BlockColumns * BlockRows;
using zoetra::Screen;

// A probability state: the LPS size and where the state goes after
// a renormalising MPS and after an LPS; flip: the MPS changes on an LPS.
struct ProbabilityState {
    std::uint16_t qe;
    std::uint8_t nextMps;
    std::uint8_t nextLps;
    std::uint8_t flip;
};

// The adaptive states of the binary coder used by the bi-level image
// standards (the MQ coder's table): probability estimation by state
// transitions, no multiplication anywhere.
inline constexpr std::array<ProbabilityState, 47> QeTable{{
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
}};

// The contexts, one state byte each (state number in bits 0-6, MPS in bit
// 7): 4096 pixel contexts, then the others.
inline constexpr int PixelContexts = 4096;
inline constexpr int BlockContext = PixelContexts;  // + 0..15
inline constexpr int PauseContext = BlockContext + 16;  // + pauseContext
inline constexpr int EndContext = PauseContext + 16;
inline constexpr int RawContext = EndContext + 1;
inline constexpr int ContextCount = RawContext + 1;

inline int pixelAt(const Screen& screen, int x, int y)
{
    if (x < 0 || x >= BytesPerRow * 8 || y < 0 || y >= Rows) {
        return 0;
    }
    return (screen[static_cast<std::size_t>(y * BytesPerRow + (x >> 3))] >> (7 - (x & 7))) & 1;
}

// The context of the pixel at (x, y): in the new screen `now` (pixels not
// decoded yet still hold the screen before) and the screen `before`.
inline int pixelContext(const Screen& now, const Screen& before, int x, int y)
{
    return pixelAt(now, x - 1, y) | pixelAt(now, x - 2, y) << 1 | pixelAt(now, x - 1, y - 1) << 2
        | pixelAt(now, x, y - 1) << 3 | pixelAt(now, x + 1, y - 1) << 4 | pixelAt(before, x, y) << 5
        | pixelAt(before, x - 1, y) << 6 | pixelAt(before, x + 1, y) << 7 | pixelAt(before, x, y + 1) << 8
        | pixelAt(before, x, y - 1) << 9 | pixelAt(now, x, y - 2) << 10 | pixelAt(now, x - 2, y - 1) << 11;
}

// What the decoder keeps of each block between frames: bit 0 = it changed
// in the last frame, bit 1 = its pixels are all white or all black. The
// decoder keeps one array: when a block's context is formed, its own entry
// and those right of it and below still hold the last frame's, those left
// of it and above this frame's. White at the start; after a raw frame every
// block counts as changed.
using BlockFlags = std::array<std::uint8_t, BlockCount>;
inline constexpr std::uint8_t Changed = 1;
inline constexpr std::uint8_t Uniform = 2;

// A block's context: whether it changed in the frame before and was all one
// colour then, and whether the blocks left of it and above it changed in
// this frame.
inline int blockContext(const BlockFlags& flags, int block)
{
    const int column = block % BlockColumns;
    const int left = column > 0 ? flags[static_cast<std::size_t>(block - 1)] & Changed : 0;
    const int above = block >= BlockColumns ? flags[static_cast<std::size_t>(block - BlockColumns)] & Changed : 0;
    const int own = flags[static_cast<std::size_t>(block)];
    return (own & Changed) | left << 1 | above << 2 | (own & Uniform) << 2;
}

// A pause decision's context: the changed blocks decoded since the last
// pause (across frames), at most 15.
constexpr int pauseContext(int blocksSincePause)
{
    return blocksSincePause < 15 ? blocksSincePause : 15;
}

// A block's entry after its decision.
inline std::uint8_t blockFlags(const Screen& screen, int block, bool changed)
{
    const int column = block % BlockColumns;
    const int top = (block / BlockColumns) * 8;
    const std::uint8_t first = screen[static_cast<std::size_t>(top * BytesPerRow + column)];
    bool uniform = first == 0x00 || first == 0xFF;
    for (int row = 1; row < 8 && uniform; ++row) {
        uniform = screen[static_cast<std::size_t>((top + row) * BytesPerRow + column)] == first;
    }
    return static_cast<std::uint8_t>((changed ? Changed : 0) | (uniform ? Uniform : 0));
}

// T-states of the player's DENSE decoder (at any clock: they are counted in
// the CPU's cycles). The encoder counts them per piece; the reference decoder
// counts them as it reads.
namespace cost {
// A decision on the fast path (context state, LPS size, the compare and the
// MPS), and on the others: the exchange tests, the state update, the entry
// to the renormalisation.
inline constexpr int Decision = 96;
inline constexpr int DecisionSlow = 96 + 78;
// Each doubling of A and D, and the extra for one that takes a new stream
// byte.
inline constexpr int Shift = 54;
inline constexpr int NewByte = 34;
// A pixel: its context from the neighbourhood and the new pixel stored.
inline constexpr int PixelContext = 96;
// Bookkeeping around the block decisions: a block's pointers and flags; for
// a changed block, the setup of its eight rows and its flags afterwards.
inline constexpr int Block = 90;
inline constexpr int ChangedBlock = 8 * 160 + 200;
// A frame: the ring slot, the copy of the screen before (ldir) and the loop
// over the blocks.
inline constexpr int Frame = 300 + 768 * 21;
// A raw frame: the flush, 768 bytes read one by one, the coder's restart.
inline constexpr int RawFrame = 400 + 768 * 40;
// A pause: the halt and what surrounds it (the wait itself not counted).
inline constexpr int Pause = 120;
// Passing from one Flash page to the next in the middle of a read: the
// stream byte source switches port 6 and wraps the address. It can fall on
// any byte, so every piece that reads the stream keeps room for one.
inline constexpr int PageCrossing = 60;
// Resetting the contexts at the stream start (a fill of ContextCount bytes
// by ldir) and the coder's start.
inline constexpr int StreamStart = 200 + ContextCount * 21;
}  // namespace cost

}  // namespace zoetra::dense
