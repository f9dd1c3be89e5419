#pragma once

// The dense video stream, as the encoder writes it and the player's DENSE
// decoder reads it.
//
// The stream is one binary arithmetic code over context-modelled decisions,
// cut only where a frame is sent raw.
//
// The coder. The decoder holds the interval size A (16 bits, at least 8000h
// after every decision) and the code offset C (0 <= C < A). It starts with
// A = 8000h and C = the next two stream bytes, high byte first. A context's
// state is one byte: the likely value MPS in bit 7 and k in bits 0-6, the
// size q = k * 100h of the unlikely value's (LPS) part. A decision splits
// the interval into a bottom part of size q and a top part of size A - q:
//  - A - q >= 8000h (the fast path): the bottom is the LPS, the top the MPS;
//  - A - q <  8000h: the smaller part takes the LPS (if A - q < q, the top
//    is the LPS and the bottom the MPS: the conditional exchange).
// C < q chooses the bottom (A = q), else the top (C = C - q, A = A - q).
// With q a multiple of 100h every test and subtraction touches the high
// bytes only. Whenever A < 8000h afterwards, both A and C double, C taking
// the next stream bit (bytes read high bit first), until A >= 8000h. A
// context's state changes only then: to nextAfterMps or nextAfterLps.
// Every context starts at InitialState.
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
//  - else halves (context HalvesContext): 1 = changed blocks are sent in
//    halves;
//  - the screen before is copied to the new one, and for each of the 96
//    blocks of 8 x 8 pixels (one byte wide, eight rows high), row of blocks
//    by row of blocks, left to right:
//      - changed (context BlockContext + blockContext): 0 = the block stays;
//      - if 1: pause (context PauseContext + pauseContext), then its 64
//        pixels; in a frame sent in halves, for each half of the block (its
//        top four rows, its bottom four) first changed (context HalfContext
//        + halfContext), 0 = the half stays, not sent for the bottom half
//        when the top half stayed (it changed). The rows go from the top:
//        a uniform row (uniformRow) is first decided whole, in the context
//        RowContext + rowContext, 1 = all of its colour; any other row, and
//        a uniform one decided 0, sends its eight pixels, leftmost first,
//        each a decision in the context pixelContext (8 pixels around it,
//        in the new screen as it stands and in the screen before).
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

// The LPS sizes a state can have, in 100h: from about a third of the
// interval down by a factor of about 0.8 to 1. After a decision that doubles
// A, a state moves one size down when the MPS came, two sizes up when the
// LPS came; the LPS at the largest size swaps MPS and LPS. Probability
// estimation by state changes only, without a multiplication anywhere.
inline constexpr std::array<std::uint8_t, 18> LpsSizes{86, 69, 55, 44, 35, 28, 23, 18, 14, 12, 9, 7, 6, 5, 4, 3, 2, 1};
inline constexpr std::uint8_t InitialState = 86;
inline constexpr int LpsStepsUp = 2;

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
    const int next = i >= LpsStepsUp ? i - LpsStepsUp : 0;
    return static_cast<std::uint8_t>(mps | LpsSizes[static_cast<std::size_t>(next)]);
}

// The contexts, one state byte each: 256 pixel contexts, then the others.
inline constexpr int PixelContexts = 256;
inline constexpr int BlockContext = PixelContexts;  // + 0..15
inline constexpr int HalfContext = BlockContext + 16;   // + halfContext
inline constexpr int PauseContext = HalfContext + 8;    // + pauseContext
inline constexpr int EndContext = PauseContext + 16;
inline constexpr int RawContext = EndContext + 1;
inline constexpr int HalvesContext = RawContext + 1;
inline constexpr int RowContext = HalvesContext + 1;  // + rowContext
inline constexpr int ContextCount = RowContext + 8;

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
// by three with now x, above x+2 and before x+2 brought in.
inline int pixelContext(const Screen& now, const Screen& before, int x, int y)
{
    return pixelAt(now, x - 1, y - 1) << 7 | pixelAt(before, x - 1, y) << 6 | pixelAt(now, x - 2, y) << 5
        | pixelAt(now, x, y - 1) << 4 | pixelAt(before, x, y) << 3 | pixelAt(now, x - 1, y) << 2
        | pixelAt(now, x + 1, y - 1) << 1 | pixelAt(before, x + 1, y);
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

// A uniform row's context: its colour, and whether the pixel left of it in
// the new screen and the one right of it in the screen before have it too.
inline int rowContext(const Screen& now, const Screen& before, int column, int y, int colour)
{
    const int x = column * 8;
    return colour | (pixelAt(now, x - 1, y) == colour) << 1 | (pixelAt(before, x + 8, y) == colour) << 2;
}

// The pixels of one row of a changed block: uniform rows decided whole, the
// others pixel by pixel. `decide(context, value)` returns the decision's
// value: the encoder codes `value`, taken from `target`, the screen being
// coded; the decoder reads it from the stream and passes any `target`.
// `cost(tStates)` books the decoder's work. Leaves the row in `now`;
// returns the pixels decided one by one (0 or 8).
template <typename Decide, typename Cost>
int codeRow(Screen& now, const Screen& before, const Screen& target, int column, int y, Decide&& decide,
            Cost&& cost);

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

// A half's context: which half, and the block's flags of the frame before.
inline int halfContext(int half, std::uint8_t flagsBefore)
{
    return half | (flagsBefore & (Changed | Uniform)) << 1;
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
// counts them as it reads. The decision's fast path is the instruction
// sequence its comment names; the rest are the figures the Z80 decoder is
// laid out to meet, to be replaced by its exact counts.
namespace cost {
// A decision on the fast path: the LPS size tested against the code and
// taken from it and from the interval, the likely value read. Any other way
// out adds DecisionSlow: the exchange test, the state update, the entry to
// the doubling.
inline constexpr int Decision = 69;
inline constexpr int DecisionSlow = 90;
// Each doubling of A and C, and the extra for one that takes a new stream
// byte.
inline constexpr int Shift = 40;
inline constexpr int NewByte = 60;
// A pixel's context from the one before: the decoded pixel, the row above
// and the row before each shifted in (three rotations of one register).
inline constexpr int PixelContext = 44;
// A row of a changed block: the test for a uniform row, and for a row sent
// pixel by pixel the setup of its two row registers and its first context
// and the store of its byte.
inline constexpr int RowTest = 60;
inline constexpr int Row = 220;
// Around the other decisions: a block's context, pointers and flags; a
// changed block's setup; a half's decision around its rows in a frame sent
// in halves.
inline constexpr int Block = 70;
inline constexpr int ChangedBlock = 150;
inline constexpr int Half = 90;
// A frame: the ring slot, the copy of the screen before (ldir) and the loop
// over the blocks.
inline constexpr int Frame = 300 + 768 * 21;
// A raw frame: the flush, the 768 bytes copied by ldir (in two parts where
// a page ends among them), the coder's restart, the blocks' flags.
inline constexpr int RawFrame = 400 + 768 * 21 + BlockCount * 150;
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

template <typename Decide, typename Cost>
int codeRow(Screen& now, const Screen& before, const Screen& target, int column, int y, Decide&& decide,
            Cost&& cost)
{
    const auto at = static_cast<std::size_t>(y * BytesPerRow + column);
    cost(cost::RowTest);
    const int colour = uniformRow(now, before, column, y);
    const auto whole = static_cast<std::uint8_t>(colour == 1 ? 0xFF : 0x00);
    if (colour >= 0 && decide(RowContext + rowContext(now, before, column, y, colour), target[at] == whole ? 1 : 0) == 1) {
        now[at] = whole;
        return 0;
    }
    cost(cost::Row);
    for (int bit = 0; bit < 8; ++bit) {
        const int value = decide(pixelContext(now, before, column * 8 + bit, y), (target[at] >> (7 - bit)) & 1);
        cost(cost::PixelContext);
        const auto mask = static_cast<std::uint8_t>(0x80u >> bit);
        now[at] = static_cast<std::uint8_t>(value != 0 ? now[at] | mask : now[at] & ~mask);
    }
    return 8;
}

}  // namespace zoetra::dense
