#pragma once

// A dense frame's decisions and rows, the one description that both the
// encoder and the reference decoder follow, and the reader of raw rows.

#include "codec/dense/DenseContexts.h"
#include "codec/dense/DenseCost.h"
#include "codec/dense/DenseFormat.h"

#include <vector>

namespace zoetra::dense {

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
