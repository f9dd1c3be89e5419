#pragma once

// The dense video stream, as the encoder writes it and the player's DENSE
// decoder (player/DecodeDense.z80) reads it.
//
// The stream is one binary arithmetic code over context-modelled decisions,
// cut where bytes are sent as they are.
//
// The coder. The decoder holds the interval size A (16 bits, at least 8000h
// after every decision) and the code C (0 <= C < A). A context's state is
// the size q = k * 100h of the unlikely value's (LPS) part, and the likely
// value (MPS). A decision splits the interval into a bottom part of size
// A - q and a top part of size q:
//  - A - q >= 8000h (the wide way): the bottom is the MPS, the top the LPS;
//  - A - q <  8000h (the narrow way): the smaller part takes the LPS (if
//    A - q < q, the bottom is the LPS and the top the MPS: the conditional
//    exchange).
// C < A - q chooses the bottom (A = A - q), else the top (C = C - (A - q),
// A = q). So the MPS of the wide way (the fast path) leaves C as it is.
// With q a multiple of 100h, A's low byte stays 0 and every test and
// subtraction needs C's high byte only: the decoder keeps that byte and
// shifts the stream's bits into it. It starts with A = 8000h and C's high
// byte = the next stream byte. Whenever A < 8000h after a decision, A and C
// double, C taking the next stream bit (bytes read high bit first), until
// A >= 8000h; the context's state changes only then: to nextAfterMps or
// nextAfterLps. Every context starts at InitialState.
//
// A flush: the encoder writes out the high byte of its interval's base (its
// low byte is always 0, as every size is a multiple of 100h) and pads to a
// whole byte with 0s. The decoder, a byte ahead, then stands exactly at the
// flush's end. Bytes sent as they are follow,
// and the coder starts again as at the stream's start (the contexts keep
// their states). The video's end flushes the same way, with nothing after.
//
// Frames. The decoder keeps the screen before (all white before the first
// frame) and builds each frame in it. Per frame, in this order:
//  - end (context EndContext): 1 = the video ends here;
//  - raw (context RawContext): 1 = a flush, then the 768 screen bytes;
//  - else compact (context CompactContext): 1 = a flush, then the number of
//    bytes that follow (two bytes, low byte first, at most
//    CompactFrameBytes) and those bytes: one frame of the compact stream
//    coded on its own (CompactFormat.h, CompactEncoder::codeAlone), applied
//    to the screen before (the player does so in the ring's free room);
//    its pauses only look for a due frame;
//  - else large (context LargeContext): 1 = the frame's records may take
//    more of the player's ring than LargestCodedRecord (DensePacing.h), so
//    the player waits for the largest record's room before it goes on;
//  - then raw rows (context RawRowsContext), then copied rows (context
//    CopyRowsContext); with copied rows, kept rows (context
//    KeptRowsContext); without raw rows, solid blocks (context
//    SolidBlocksContext); with raw rows, packed (context PackedContext), a
//    flush, then the number of row bytes that follow (two bytes, low byte
//    first) and those bytes; the rows this frame would send pixel by pixel
//    are taken from them in order, a byte each, or packed (packRows);
//  - for each of the 96 blocks of 8 x 8 pixels (one byte wide, eight rows
//    high), row of blocks by row of blocks, left to right:
//      - changed (context BlockContext + blockContext): 0 = the block stays;
//      - if 1, in a frame with solid blocks, first whether it is solid
//        (context SolidContext + solidContext), and if so its colour
//        (context ColourContext + colourContext, 1 = black), nothing more;
//      - else its rows from the top: a uniform row (uniformRow) is first
//        decided whole, in the context RowContext + rowContext, 1 = all of
//        its colour; in a frame with kept rows any other row is first
//        decided in the context KeptContext + copyContext, 1 = it stays as
//        it was; in a frame with copied rows any other row still open is
//        then decided in the context CopyContext + copyContext, 1 = it is
//        the row above it in the new screen; a row still open, and a uniform
//        one decided 0, is the next row byte in a frame with raw rows, else
//        eight pixels, leftmost first, each a decision in the context
//        pixelContext (8 pixels around it, in the new screen as it stands
//        and in the screen before), or for a row whose byte above is its
//        byte before in the context pixelContextBelow (the row below in the
//        place of the row above); a uniform row's pixels take a table of
//        their own (UniformPixels + pixelContextBelow).
// After a raw or a compact frame every block counts as changed.
//
// Time: the player decodes ahead of the screen into a ring of frames and
// shows the oldest at each frame's tick. The encoder counts each frame's
// T-states with the figures below and checks with the player's schedule
// (DensePacing.h) that no frame is late; a frame that would be late is sent
// with copied or kept rows, solid blocks, raw rows, or raw, which decode in
// less time; a heavy frame may also go compact.

#include "shared/Screen.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <vector>

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

// T-states of the player's DENSE decoder (at any clock: they are counted in
// the CPU's cycles), as its code takes them (player/DecodeDense.z80, whose
// comments give each instruction's); the reference decoder adds them up as
// it reads, the encoder as it writes. Not counted: the player's check for a
// due frame before each changed block, past its call (it shows frames), and
// interrupts.
namespace cost {
// A pixel's decision on the fast path (the code below the bottom part's
// size, which is at least 8000h), with the pixel shifted into the context
// and the row's byte; the LPS on the wide way; on the narrow way, the code
// in the bottom part or in the top part (the state's change and the
// doublings come on top). The wide way is a relative jump, but for the
// pixel at FarPixel in its byte, whose way there is out of a relative
// jump's reach.
inline constexpr int Pixel = 99;
inline constexpr int PixelWide = 131;
inline constexpr int PixelFar = 102;
inline constexpr int PixelFarWide = 129;
inline constexpr int PixelNarrowBottom = 114;
inline constexpr int PixelNarrowTop = 125;
inline constexpr int FarPixel = 3;
// A block's, a uniform row's and a copy decision (taken in line), the same
// four ways.
inline constexpr int Inline = 58;
inline constexpr int InlineWide = 85;
inline constexpr int InlineNarrowBottom = 70;
inline constexpr int InlineNarrowTop = 81;
// Any other decision (called), the same four ways.
inline constexpr int Decision = 85;
inline constexpr int DecisionWide = 75;
inline constexpr int DecisionNarrowBottom = 60;
inline constexpr int DecisionNarrowTop = 71;
// Choosing the state's change on the narrow way: the part the code is in
// as the MPS or as the LPS.
inline constexpr int NarrowBottomMps = 7;
inline constexpr int NarrowBottomLps = 12;
inline constexpr int NarrowTopMps = 35;
inline constexpr int NarrowTopLps = 23;
// The state changes (after the MPS; after the LPS at the largest size, with
// its way out of the doublings clearing the carry; after the LPS, with the
// unlikely value's longer way out).
inline constexpr int AfterMps = 40;
inline constexpr int AfterLps = 61;
inline constexpr int AfterLpsSwap = 59;
// The doublings after a decision: entering and leaving them, each one, and
// each one that takes a new stream byte. After the MPS there is always
// exactly one (the interval is at least 40h), taken in line with entering
// and leaving (MpsDoubling).
inline constexpr int Renormalise = 45;
inline constexpr int Doubling = 37;
inline constexpr int MpsDoubling = 68;
inline constexpr int NewByte = 68;
// Reading one stream byte (call and return included).
inline constexpr int StreamByte = 72;
// A frame: its start, around the end, raw, compact, large, raw rows and
// copied rows decisions, and for each row of blocks the test of where its
// records go (RingTest); its end. A large frame's call to wait for room:
// the wait itself, as the test for room before each frame, is the
// player's, not the frame's.
inline constexpr int RingTest = 90;
inline constexpr int Frame = 362 + BlockRows * RingTest;
inline constexpr int LargeOn = 7;
// Setting a frame's rows' way on to copy decisions; in such a frame, the
// kept rows decision's surroundings, and setting them on to kept rows. In a
// frame without copied rows, a row goes on to its pixels through the rows'
// way where the frame has raw rows, else straight.
inline constexpr int CopyRowsOn = 10;
inline constexpr int ThroughRowWay = 24;
inline constexpr int StraightToPixels = 51;
inline constexpr int KeptRowsChoice = 32;
inline constexpr int KeptRowsOn = 15;
inline constexpr int FrameEnd = 103;
// A frame with raw rows: around the packed decision, reading the count, the
// coder's restart; the copy of the bytes where there are any, and each byte.
inline constexpr int RawRows = 440;
inline constexpr int RawRowsCopy = 260;
inline constexpr int RawRowByte = 21;
// A raw frame: its start (to the raw decision, and its call to wait for
// room, as a large frame's) and all of the rest, the
// 768 bytes, every block's record and whether it is solid, and the coder's
// restart (with the test of where the records go, RecordsWhole).
inline constexpr int RawFrameStart = 109;
inline constexpr int RawFrame = 93'167;
// A compact frame: its start (to the compact decision, and its call to wait
// for room); reading its count,
// the copy of its bytes (RawRowsCopy, and RawRowByte each), S copied out to
// the flat screen and back (CompactFrame); its commands (the compact
// stream's figures, with CompactPause for each pause); every block's record
// and the coder's restart (AllRecords, a raw frame's as well); the test of
// where the records go is in CompactFrame. Both records' figures count
// every row of every block the same as the row above (allRecordsTStates
// adds the rows kept).
inline constexpr int CompactFrameStart = 129;
inline constexpr int CompactFrame = 36'925;
inline constexpr int CompactPause = 97;
inline constexpr int AllRecords = 55'000;
// A block: its context and decision's surroundings; the end of a row of
// blocks (with a check for a due frame).
inline constexpr int Block = 93;
inline constexpr int BlockRowEnd = 90;
// A changed block: its setup and its record, with whether it is solid (the
// check for a due frame only as its call), every row of its record the
// same as the row above; each row kept in its record for differing from
// the row above takes RecordRowKept more.
inline constexpr int ChangedBlock = 625;
inline constexpr int RecordRowKept = 16;
// A changed block whose eight rows came out all the same.
inline constexpr int SameRows = 50;
// A changed block's last row on to its record (a solid block goes there
// straight).
inline constexpr int RowsDone = 10;
// A row of a changed block, with the test: the byte above differs from the
// row's before, or is the same but mixed, or the same and one colour (a
// uniform row, its context and the call of its decision), and a uniform
// row decided whole.
inline constexpr int Row = 70;
inline constexpr int RowDiffers = 12;
inline constexpr int RowMixed = 30;
inline constexpr int RowUniform = 127;
inline constexpr int WholeRow = 14;
// A row taken from the row bytes, or sent pixel by pixel (its row
// registers and first context; the pixels come on top, the last one's
// shift into the row's byte 32 T-states shorter than the others', which
// this counts off).
inline constexpr int RawRow = 84;
// A packed row: the way to it; its code from a new code byte's high half
// or the low half of the last; a code for one of the edge bytes, or for
// the next byte.
inline constexpr int PackedRow = 10;
// Setting a frame's rows on to packed ones.
inline constexpr int PackedOn = 5;
inline constexpr int PackedHigh = 130;
inline constexpr int PackedLow = 54;
inline constexpr int PackedEdge = 75;
inline constexpr int PackedEscape = 100;
inline constexpr int PixelRow = 202;
// A row whose byte above is its byte before, uniform or not: the row below
// in the place of the row above, its row registers and first context the
// same way, then a jump to the decisions.
inline constexpr int BelowPixelRow = PixelRow + 29;
// A row that is not uniform, before it is sent, for a byte above that
// differs from the row's before or is the same but mixed: in a frame
// without copied rows; in one with them, with its copy decision's context
// and call; after the decision, the row not copied, or copied.
inline constexpr int CopyOffDiffers = 14;
inline constexpr int CopyOffMixed = 18;
inline constexpr int CopyDiffers = 24;
inline constexpr int CopyMixed = 28;
// A row's pixels reached through the rows' way: in a frame with copied
// rows, and for a uniform row (in a frame without, a row that is not
// uniform goes to its pixels straight).
inline constexpr int RowWayJump = 10;
inline constexpr int NotCopied = 12;
inline constexpr int Copied = 40;
// A kept rows decision (taken in line, after the copy decision's
// surroundings): the row kept as it was, or on to the copy decision.
inline constexpr int Kept = 21;
inline constexpr int NotKept = 22;
// A frame's solid blocks decision's surroundings: with raw rows (not
// taken), and without; setting them on.
inline constexpr int SolidChoiceRaw = 55;
inline constexpr int SolidChoice = 82;
inline constexpr int SolidBlocksOn = 5;
// A changed block in a frame with solid blocks: its solid decision's
// context and surroundings; on to its rows when it is not solid; when it
// is, its colour decision's context and surroundings and its rows filled
// (less the rows' setup it skips).
inline constexpr int SolidDecision = 158;
inline constexpr int NotSolid = 10;
inline constexpr int SolidFill = 257;
}  // namespace cost

// A frame's own work before its blocks, by the ways it goes: its decisions'
// surroundings and the jumps they set; with raw rows, reading the row
// bytes (`rowBytes` of them, packed or not).
inline int frameStartTStates(bool large, bool rawRows, bool copyRows, bool keptRows, bool solidBlocks)
{
    return cost::Frame + (large ? cost::LargeOn : 0) +
        (copyRows      ? cost::CopyRowsOn + cost::KeptRowsChoice
             : rawRows ? cost::ThroughRowWay
                       : cost::StraightToPixels) +
        (keptRows ? cost::KeptRowsOn : 0) + (rawRows ? cost::SolidChoiceRaw : cost::SolidChoice) +
        (solidBlocks ? cost::SolidBlocksOn : 0);
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
// What the rows kept in the records of every block of `screen` add to a raw
// or compact frame's records.
inline int allRecordsTStates(const Screen& screen)
{
    int kept = 0;
    for (int block = 0; block < BlockCount; ++block) {
        kept += recordRowsKept(screen, block);
    }
    return kept * cost::RecordRowKept;
}
inline int compactFrameTStates(int bytes, int commandTStates, const Screen& screen)
{
    return cost::CompactFrameStart + cost::CompactFrame + cost::RawRowsCopy + bytes * cost::RawRowByte +
        commandTStates + cost::AllRecords + allRecordsTStates(screen) + cost::FrameEnd;
}
inline int rawRowsTStates(bool packed, int rowBytes)
{
    return (packed ? cost::PackedOn : 0) + cost::RawRows + (rowBytes > 0 ? cost::RawRowsCopy : 0) +
        rowBytes * cost::RawRowByte;
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

// Reads the row bytes of a frame with raw rows, packed or not, as the
// player does, adding each row's T-states.
class RowReader {
public:
    RowReader(const std::vector<std::uint8_t>& bytes, bool packed) : bytes_(bytes), packed_(packed) {}

    std::uint8_t next(int& tStates)
    {
        if (!packed_) {
            tStates += cost::RawRow;
            return byte();
        }
        tStates += cost::PackedRow;
        int code;
        if (low_ < 0) {
            tStates += cost::PackedHigh;
            const std::uint8_t both = byte();
            low_ = both & 0x0F;
            code = both >> 4;
        } else {
            tStates += cost::PackedLow;
            code = low_;
            low_ = -1;
        }
        if (code == EscapeCode) {
            tStates += cost::PackedEscape;
            return byte();
        }
        tStates += cost::PackedEdge;
        return EdgeBytes[static_cast<std::size_t>(code)];
    }
    // Every byte taken, none beyond.
    bool exact() const { return at_ == bytes_.size() && !overrun_; }

private:
    std::uint8_t byte()
    {
        if (at_ < bytes_.size()) {
            return bytes_[at_++];
        }
        overrun_ = true;
        return 0;
    }

    const std::vector<std::uint8_t>& bytes_;
    bool packed_;
    std::size_t at_ = 0;
    int low_ = -1;
    bool overrun_ = false;
};

// How a decision went, for its T-states.
enum class Way { Fast, Wide, NarrowBottom, NarrowTop };
enum class Update { AfterMps, AfterLps, AfterLpsSwap };

// Where in the player a decision is taken: a pixel's (one of the pixel at
// FarPixel), in line, or called; OfContext: as decisionKind has it.
enum class Kind { Pixel, PixelFar, Inline, Called, OfContext };
constexpr Kind decisionKind(int context)
{
    if (context < PixelContexts) {
        return Kind::Pixel;
    }
    const bool inLine = (context >= BlockContext && context < BlockContext + BlockContexts) ||
        (context >= RowContext && context < RowContext + 8) ||
        (context >= CopyContext && context < CopyContext + CopyContexts) ||
        (context >= KeptContext && context < KeptContext + CopyContexts) ||
        (context >= SolidContext && context < ColourContext + 4);
    return inLine ? Kind::Inline : Kind::Called;
}

inline int decisionTStates(Kind kind, Way way, Update update, int doublings, int newBytes)
{
    static constexpr int Fast[] = {cost::Pixel, cost::PixelFar, cost::Inline, cost::Decision};
    static constexpr int Wide[] = {cost::PixelWide, cost::PixelFarWide, cost::InlineWide, cost::DecisionWide};
    static constexpr int Bottom[] = {cost::PixelNarrowBottom, cost::PixelNarrowBottom, cost::InlineNarrowBottom,
                                     cost::DecisionNarrowBottom};
    static constexpr int Top[] = {cost::PixelNarrowTop, cost::PixelNarrowTop, cost::InlineNarrowTop,
                                  cost::DecisionNarrowTop};
    assert(kind != Kind::OfContext && "the caller resolves it (decisionKind)");
    const auto k = static_cast<std::size_t>(kind);
    if (way == Way::Fast) {
        return Fast[k];
    }
    const bool mps = update == Update::AfterMps;
    int t = 0;
    if (way == Way::Wide) {
        t = Wide[k];  // always the LPS
    } else if (way == Way::NarrowBottom) {
        t = Bottom[k] + (mps ? cost::NarrowBottomMps : cost::NarrowBottomLps);
    } else {
        t = Top[k] + (mps ? cost::NarrowTopMps : cost::NarrowTopLps);
    }
    t += mps ? cost::AfterMps : update == Update::AfterLps ? cost::AfterLps : cost::AfterLpsSwap;
    if (mps) {
        assert(doublings == 1 && "after the MPS the interval is at least 40h");
        return t + cost::MpsDoubling + newBytes * cost::NewByte;
    }
    return t + cost::Renormalise + doublings * cost::Doubling + newBytes * cost::NewByte;
}

// A frame's decisions and rows, as the encoder codes them and the decoder
// reads them. `decide(context, value[, kind])` returns the decision's value: the
// encoder codes `value`, taken from `target`, the screen being coded; the
// decoder reads it from the stream (and passes any `target`). `rawRow(value)`
// gives a row byte of a frame with raw rows the same way; `cost(tStates)`
// books the decoder's other work. Leaves the frame in `now`; returns the
// pixels decided one by one.
template <typename Decide, typename RawRow, typename Cost>
int codeBlocks(Screen& now, const Screen& target, BlockFlags& flags, bool rawRows, bool copyRows, bool keptRows,
               bool solidBlocks, Decide&& decide, RawRow&& rawRow, Cost&& cost)
{
    const Screen before = now;
    SolidMap solid = solidMap(before);
    int pixels = 0;
    for (int block = 0; block < BlockCount; ++block) {
        const int column = block % BlockColumns;
        const int top = (block / BlockColumns) * 8;
        cost(cost::Block + (column == BlockColumns - 1 ? cost::BlockRowEnd : 0));
        const int changed =
            decide(BlockContext + blockContext(flags, solid, block), blockDiffers(target, before, block) ? 1 : 0);
        flags[static_cast<std::size_t>(block)] = static_cast<std::uint8_t>(changed);
        if (changed == 0) {
            continue;
        }
        cost(cost::ChangedBlock);
        if (solidBlocks) {
            cost(cost::SolidDecision);
            if (decide(SolidContext + solidContext(solid, block), solidBlock(target, block) ? 1 : 0) == 1) {
                const auto first = static_cast<std::size_t>(top * BytesPerRow + column);
                const int black = decide(ColourContext + colourContext(now, before, block), target[first] == 0xFF ? 1 : 0);
                for (int y = top; y < top + 8; ++y) {
                    now[static_cast<std::size_t>(y * BytesPerRow + column)] = black == 1 ? 0xFF : 0x00;
                }
                cost(cost::SolidFill + cost::SameRows);
                solid[static_cast<std::size_t>(block)] = true;
                continue;
            }
            cost(cost::NotSolid);
        }
        for (int y = top; y < top + 8; ++y) {
            const auto at = static_cast<std::size_t>(y * BytesPerRow + column);
            const std::uint8_t above = y > 0 ? now[at - BytesPerRow] : 0;
            const int colour = uniformRow(now, before, column, y);
            cost(cost::Row + (above != before[at] ? cost::RowDiffers : colour < 0 ? cost::RowMixed : 0));
            if (colour >= 0) {
                cost(cost::RowUniform);
                const auto whole = static_cast<std::uint8_t>(colour == 1 ? 0xFF : 0x00);
                if (decide(RowContext + rowContext(now, before, column, y, colour), target[at] == whole ? 1 : 0) == 1) {
                    cost(cost::WholeRow);
                    now[at] = whole;
                    continue;
                }
            }
            if (colour < 0 && !copyRows) {
                cost(above != before[at] ? cost::CopyOffDiffers : cost::CopyOffMixed);
            } else if (colour < 0) {
                cost(above != before[at] ? cost::CopyDiffers : cost::CopyMixed);
                if (keptRows) {
                    if (decide(KeptContext + copyContext(above, before[at]), target[at] == before[at] ? 1 : 0) ==
                        1) {
                        cost(cost::Kept);
                        continue;
                    }
                    cost(cost::NotKept);
                }
                if (decide(CopyContext + copyContext(above, before[at]), target[at] == above ? 1 : 0) == 1) {
                    cost(cost::Copied);
                    now[at] = above;
                    continue;
                }
                cost(cost::NotCopied);
            }
            if (rawRows) {
                now[at] = rawRow(target[at]);
                continue;
            }
            const bool below = above == before[at];
            cost((below ? cost::BelowPixelRow : cost::PixelRow) + (copyRows || colour >= 0 ? cost::RowWayJump : 0));
            for (int bit = 0; bit < 8; ++bit) {
                const int x = column * 8 + bit;
                const int context = (colour >= 0 ? UniformPixels : 0) +
                    (below ? pixelContextBelow(now, before, x, y) : pixelContext(now, before, x, y));
                const int value =
                    decide(context, (target[at] >> (7 - bit)) & 1, bit == cost::FarPixel ? Kind::PixelFar : Kind::Pixel);
                const auto mask = static_cast<std::uint8_t>(0x80u >> bit);
                now[at] = static_cast<std::uint8_t>(value != 0 ? now[at] | mask : now[at] & ~mask);
            }
            pixels += 8;
        }
        const int kept = recordRowsKept(now, block);
        cost(cost::RowsDone + kept * cost::RecordRowKept);
        const bool same = kept == 0;  // its eight rows the same
        if (same) {
            cost(cost::SameRows);
        }
        const std::uint8_t topRow = blockByte(now, block, 0);
        solid[static_cast<std::size_t>(block)] = same && (topRow == 0x00 || topRow == 0xFF);
    }
    return pixels;
}

}  // namespace zoetra::dense
