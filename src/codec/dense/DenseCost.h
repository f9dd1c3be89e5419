#pragma once

#include "codec/dense/DenseFormat.h"

#include <cassert>

namespace zoetra::dense {

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
// room, as a large frame's); its 768 bytes read into the ring as its record,
// a whole screen after its mark (RawFrame, with the test of where the
// record goes, RecordsWhole); then the screen into S (screenToSTStates).
inline constexpr int RawFrameStart = 109;
inline constexpr int RawFrame = 16'570;
// A compact frame: its start (to the compact decision, and its call to wait
// for room); reading its count, the copy of its bytes (RawRowsCopy, and
// RawRowByte each), S copied out flat into the ring as its record
// (CompactFrame, with the test of where the record goes); its commands (the
// compact stream's figures, with CompactPause for each pause); then the
// screen into S (screenToSTStates).
inline constexpr int CompactFrameStart = 129;
inline constexpr int CompactFrame = 18'652;
inline constexpr int CompactPause = 97;
// A raw or compact frame's screen, flat in its record, copied into S, the
// records' end after it and the coder's restart (ScreenToS); each block's
// flag, changed and whether it is solid, for each row of blocks (FlagRow),
// and for each block: with a top row neither all white nor all black
// (FlagMixed); with one, then for each row below it the same
// (FlagRowSame), and the first that differs (FlagRowDiffers) or none
// (FlagSolid).
inline constexpr int ScreenToS = 18'503;
inline constexpr int FlagRow = 59;
inline constexpr int FlagMixed = 86;
inline constexpr int FlagColour = 45;
inline constexpr int FlagRowSame = 26;
inline constexpr int FlagRowDiffers = 71;
inline constexpr int FlagSolid = 52;
// A looping video's end: the start of the player's decoding before the end
// decision and after it, the end's mark, every context as at the start, S
// white, no block changed, the coder on the stream's first byte again (in
// the archive the first AppVar found on top: a stretch's end), then on to
// the first frame.
inline constexpr int Restart = 30'701;
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
// A raw or compact frame's screen into S, with every block's flag
// (ScreenToS and the flags' figures).
inline int screenToSTStates(const Screen& screen)
{
    int t = cost::ScreenToS + BlockRows * cost::FlagRow;
    for (int block = 0; block < BlockCount; ++block) {
        const std::uint8_t top = blockByte(screen, block, 0);
        if (top != 0x00 && top != 0xFF) {
            t += cost::FlagMixed;
            continue;
        }
        t += cost::FlagColour;
        int row = 1;
        while (row < 8 && blockByte(screen, block, row) == top) {
            t += cost::FlagRowSame;
            ++row;
        }
        t += row < 8 ? cost::FlagRowDiffers : cost::FlagSolid;
    }
    return t;
}
inline int rawFrameTStates(const Screen& screen)
{
    return cost::RawFrameStart + cost::RawFrame + screenToSTStates(screen) + cost::FrameEnd;
}
inline int compactFrameTStates(int bytes, int commandTStates, const Screen& screen)
{
    return cost::CompactFrameStart + cost::CompactFrame + cost::RawRowsCopy + bytes * cost::RawRowByte +
        commandTStates + screenToSTStates(screen) + cost::FrameEnd;
}
inline int rawRowsTStates(bool packed, int rowBytes)
{
    return (packed ? cost::PackedOn : 0) + cost::RawRows + (rowBytes > 0 ? cost::RawRowsCopy : 0) +
        rowBytes * cost::RawRowByte;
}

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

}  // namespace zoetra::dense
