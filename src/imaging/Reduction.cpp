#include "imaging/Reduction.h"

#include "imaging/BinarySearch.h"
#include "imaging/ThresholdMaps.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace zoetra {

namespace {

// Error diffusion under a history. A pixel whose value has stayed within
// this many (scaled) levels of the value it was decided at keeps its
// colour, unless the error it would then pass on grows past KeepLimit (a
// whole step less a little): so noise and the error of moving parts
// elsewhere leave still areas alone, while a slow fade still gets through.
constexpr int StaticTolerance3 = 3 * 8;
constexpr float KeepLimit = 0.9f;
// A pixel decided afresh leans towards its last colour by this much of the
// band.
constexpr float Lean = 0.15f;

// The search leaves areas whose grey varies by less than this (a standard
// deviation over 5 x 5 pixels, in grey levels) to three tones: black, the
// 2 x 2 checkerboard and white, the only patterns no eye sees as texture.
constexpr int FlatDeviation = 4;

void plain(const GreyGrid& grey, const ReductionParameters& p, BitGrid& bits)
{
    for (int y = 0; y < GridRows; ++y) {
        for (int x = 0; x < GridColumns; ++x) {
            const std::size_t i = gridIndex(x, y);
            const int v = grey[i];
            bool black;
            if (v < p.black3) {
                black = true;
            } else if (v > p.white3 || !p.dither) {
                black = false;
            } else {
                black = ((x + y) & 1) == 0;
            }
            bits[i] = black ? 1 : 0;
        }
    }
}

// Black where the grey lies below the map's threshold, the thresholds
// spread over the band between black3 and white3. Everything is compared
// times twice the map's cell count, so that it stays in integers.
void ordered(const GreyGrid& grey, const ReductionParameters& p, const ThresholdMap& map,
             const FrameHistory* history, BitGrid& bits)
{
    const int cells = map.cells();
    const int mask = map.size - 1;  // sizes are powers of two
    const int span = p.white3 - p.black3;
    std::array<int, 64 * 64> thresholds;  // the largest map's cells
    for (std::size_t c = 0; c < static_cast<std::size_t>(cells); ++c) {
        thresholds[c] = 2 * cells * p.black3 + (2 * map.ranks[c] + 1) * span;
    }
    const bool lean = history != nullptr && history->hasFrame;
    const int hysteresis = 2 * cells * 3 * OrderedHysteresis;

    for (int y = 0; y < GridRows; ++y) {
        const int* row = thresholds.data() + (y & mask) * map.size;
        for (int x = 0; x < GridColumns; ++x) {
            const std::size_t i = gridIndex(x, y);
            const int v = grey[i];
            bool black;
            if (v < p.black3) {
                black = true;
            } else if (v > p.white3) {
                black = false;
            } else {
                int threshold = row[x & mask];
                if (lean) {
                    threshold += history->bits[i] ? hysteresis : -hysteresis;
                }
                black = 2 * cells * v < threshold;
            }
            bits[i] = black ? 1 : 0;
        }
    }
}

// Error diffusion in fixed point: a level of 1 (white) is One. The error
// for the pixels to the right of this one stays in registers; integers keep
// the chain from one pixel to the next short.
constexpr int One = 4096;
constexpr int Half = One / 2;
constexpr int LeanQ = static_cast<int>(Lean * One);
constexpr int KeepLimitQ = static_cast<int>(KeepLimit * One);

// Under a history a pixel's colour comes from one comparison with a
// threshold of its own, known before the error reaching the pixel is, so
// that the chain from pixel to pixel stays short. A still pixel that was
// white keeps white while the value it wants is at least One - KeepLimitQ,
// and above One + KeepLimitQ a fresh decision makes it white too; a still
// black one keeps black up to KeepLimitQ, and above that turns white where
// a fresh decision would. A changed pixel is decided afresh, leaning
// towards its last colour.
// Each is the least wanted value that gives white.
constexpr int StillWhiteStays = std::min(One - KeepLimitQ, Half - LeanQ);
constexpr int StillBlackTurns = std::max(KeepLimitQ + 1, Half + LeanQ);
constexpr int ChangedWhiteStays = Half - LeanQ;
constexpr int ChangedBlackTurns = Half + LeanQ;
static_assert(One + KeepLimitQ + 1 >= Half - LeanQ, "a kept white pixel's range meets a fresh decision's");

// How a pixel's error is shared: to the next one or two pixels of the row,
// to the row below (behind, straight, ahead) and to the row after that.
struct Shares {
    int next1;
    int next2;
    int belowBehind;
    int below;
    int belowAhead;
    int twoBelow;
};

struct FloydSteinberg {
    static Shares share(int e)
    {
        // Shifts round down (arithmetic in C++20); the rest makes up for it.
        const int next = (e * 7) >> 4;
        const int behind = (e * 3) >> 4;
        const int below = (e * 5) >> 4;
        // The rest goes ahead, so that the whole error is passed on.
        return {next, 0, behind, below, e - next - behind - below, 0};
    }
    // share(w - (white ? One : 0)).next1, worked out beside the choice
    // instead of after it: One is a multiple of 16, so the white point's
    // share comes off whole.
    static int nextOf(int w, int white) { return ((w * 7) >> 4) - (white & (One * 7 / 16)); }
};

// Atkinson passes on three quarters of the error, which keeps highlights
// and shadows clean.
struct Atkinson {
    static Shares share(int e)
    {
        const int eighth = e >> 3;
        return {eighth, eighth, eighth, eighth, eighth, eighth};
    }
    static int nextOf(int w, int white) { return (w >> 3) - (white & (One / 8)); }
};
static_assert(One % 16 == 0, "the white point's shares are whole");

// Moves the history with the picture, block by block, so that where the
// picture moves the pattern moves with it instead of being diffused anew:
// for each 8 x 8 block with grey in it, the shift of at most one pixel whose
// decision values best match the new frame on every other row; the block's
// last pixels and decision values are taken from there. A still block, or
// one no shift matches clearly better, keeps its own. The blocks of the
// grid's edge keep theirs too, where new picture comes in.
void followMotion(const GreyGrid& grey, const ReductionParameters& p, FrameHistory& history)
{
    constexpr int Block = 8;
    const BitGrid lastBits = history.bits;
    const GreyGrid lastAt = history.decidedAt;
    int lastX = 0;
    int lastY = 0;
    for (int by = 1; by < ScreenHeight / Block - 1; ++by) {
        for (int bx = 1; bx < ScreenWidth / Block - 1; ++bx) {
            const int x0 = bx * Block;
            const int y0 = by * Block;
            // Rows of eight values side by side, done in vector steps.
            // A shift is given up as soon as it cannot beat `limit`.
            const auto mismatch = [&](int dx, int dy, int limit) {
                int sum = 0;
                for (int y = y0; y < y0 + Block && sum < limit; y += 2) {
                    const std::int16_t* now = &grey[gridIndex(x0, y)];
                    const std::int16_t* then = &lastAt[gridIndex(x0 - dx, y - dy)];
                    for (int k = 0; k < Block; ++k) {
                        sum += std::abs(now[k] - then[k]);
                    }
                }
                return sum;
            };
            bool banded = false;
            for (int y = y0; y < y0 + Block && !banded; y += 2) {
                for (int x = x0; x < x0 + Block; ++x) {
                    const int v = grey[gridIndex(x, y)];
                    banded = banded || (v >= p.black3 && v <= p.white3);
                }
            }
            const int still = banded ? mismatch(0, 0, std::numeric_limits<int>::max()) : 0;
            // Solid, or within the noise of a still picture: nothing to move.
            if (still <= Block * Block / 2 * StaticTolerance3 / 2) {
                lastX = 0;
                lastY = 0;
                continue;
            }
            int best = still;
            int bestX = 0;
            int bestY = 0;
            // Motion is much the same from one block to the next: the shift
            // of the block before, when it explains this one well, is taken
            // without trying the others.
            bool settled = false;
            if (lastX != 0 || lastY != 0) {
                const int m = mismatch(lastX, lastY, still / 4 + 1);
                if (4 * m <= still) {
                    best = m;
                    bestX = lastX;
                    bestY = lastY;
                    settled = true;
                }
            }
            for (int dy = -1; dy <= 1 && !settled; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (dx == 0 && dy == 0) {
                        continue;
                    }
                    const int m = mismatch(dx, dy, best);
                    if (m < best) {
                        best = m;
                        bestX = dx;
                        bestY = dy;
                    }
                }
            }
            // A shift must explain the change clearly better than none.
            if ((bestX == 0 && bestY == 0) || 2 * best > still) {
                lastX = 0;
                lastY = 0;
                continue;
            }
            lastX = bestX;
            lastY = bestY;
            for (int y = y0; y < y0 + Block; ++y) {
                for (int x = x0; x < x0 + Block; ++x) {
                    const std::size_t source = gridIndex(x - bestX, y - bestY);
                    history.bits[gridIndex(x, y)] = lastBits[source];
                    history.decidedAt[gridIndex(x, y)] = lastAt[source];
                }
            }
        }
    }
}

// What the diffusion makes of a value: its level within the band, a mask
// of -1 inside the band and 0 outside it, and 1 where it lies below the
// band (solid black).
struct ValueShare {
    int level;
    std::int16_t inBand;
    std::int16_t solidBlack;
};

// What a row's diffusion reads and writes.
struct DiffusionRow {
    const std::int16_t* values;
    const ValueShare* shareOf;     // indexed by the value
    const int* here;               // the error that reached this row
    std::uint8_t* bits;
    const std::uint8_t* lastBits;  // with a history
    std::int16_t* decidedAt;       // with a history
    int* errors;                   // the errors this row leaves
};

// Diffuses one row in the direction Dir (1 to the right, -1 to the left):
// the only part of the diffusion that goes pixel after pixel. Solid pixels
// outside the band take no error and pass none on. Masks (0 or -1) instead
// of branches: the choices are as good as random, and a mispredicted branch
// a pixel would cost more than the rest.
// What a pixel's history makes of it, by whether it stayed still (2) and
// whether it was black (1): the least wanted value that gives white, and
// for a still pixel the range of wanted values, from keepFrom on, over
// which it keeps the value it was decided at.
struct Leaning {
    int whiteFrom;
    int keepFrom;
};
constexpr std::array<Leaning, 4> Leanings = {{
    {ChangedWhiteStays, 0},
    {ChangedBlackTurns, 0},
    {StillWhiteStays, One - KeepLimitQ},
    {StillBlackTurns, -KeepLimitQ},
}};

template <class Kernel, int Dir, bool Lean>
void diffuseRow(const DiffusionRow& row)
{
    // Kept in locals: the byte stores would otherwise have the compiler read
    // them anew for each pixel.
    const std::int16_t* const values = row.values;
    const ValueShare* const shareOf = row.shareOf;
    const int* const here = row.here;
    std::uint8_t* const bits = row.bits;
    const std::uint8_t* const lastBits = row.lastBits;
    std::int16_t* const decidedAt = row.decidedAt;
    int* const errors = row.errors;

    int next1 = 0;
    int next2 = 0;
    constexpr int First = Dir > 0 ? 0 : GridColumns - 1;
    for (int k = 0, x = First; k < GridColumns; ++k, x += Dir) {
        // Read before anything is written.
        const int v = values[x];
        const ValueShare share = shareOf[v];
        const int e0 = here[x];
        Leaning leaning{Half, 0};
        int at = 0;
        std::size_t still = 0;
        if constexpr (Lean) {
            at = decidedAt[x];
            // |v - at| <= StaticTolerance3
            still = static_cast<unsigned>(v - at + StaticTolerance3) <= 2 * StaticTolerance3;
            leaning = Leanings[2 * still + (lastBits[x] != 0)];
        }
        const int w = share.level + e0 + next1;
        const int white = -static_cast<int>(w >= leaning.whiteFrom);
        const int e = (w - (white & One)) & share.inBand;
        next1 = next2 + (Kernel::nextOf(w, white) & share.inBand);
        next2 = Kernel::share(e).next2;
        errors[x] = e;
        bits[x] = static_cast<std::uint8_t>((share.inBand & ~white & 1) | share.solidBlack);
        if constexpr (Lean) {
            // A pixel keeps the value it was decided at while it keeps its
            // colour for staying still.
            const int keep = share.inBand & -static_cast<int>(still) &
                             -static_cast<int>(static_cast<unsigned>(w - leaning.keepFrom) <= 2 * KeepLimitQ);
            decidedAt[x] = static_cast<std::int16_t>((at & keep) | (v & ~keep));
        }
    }
}

// Serpentine: every other row runs right to left, its spread mirrored.
// The error a row passes down is spread once the row is done, each pixel
// of the row below gathering its shares.
template <class Kernel>
void diffuse(const GreyGrid& grey, const ReductionParameters& p, FrameHistory* history, BitGrid& bits)
{
    const int black3 = p.black3;
    const int white3 = p.white3;
    const int span = white3 - black3;
    const bool lean = history != nullptr && history->hasFrame;
    // Every value, from the unreadable -3 on.
    constexpr int Lowest = -3;
    std::array<ValueShare, 765 - Lowest + 1> shareOf;
    for (int v = Lowest; v <= 765; ++v) {
        const bool inBand = v >= black3 && v <= white3;
        shareOf[static_cast<std::size_t>(v - Lowest)] = {0, static_cast<std::int16_t>(inBand ? -1 : 0),
                                                         static_cast<std::int16_t>(!inBand && v < black3 ? 1 : 0)};
    }
    {
        const int from = std::max(Lowest, black3);
        const int to = std::min(765, white3);
        // (v - black3) * One / span, stepped without a division each.
        const int step = span > 0 ? One / span : 0;
        const int stepRest = span > 0 ? One % span : 0;
        int level = span > 0 ? (from - black3) * One / span : Half;
        int rest = span > 0 ? (from - black3) * One % span : 0;
        for (int v = from; v <= to; ++v) {
            shareOf[static_cast<std::size_t>(v - Lowest)].level = level;
            level += step;
            rest += stepRest;
            if (rest >= span && span > 0) {
                rest -= span;
                ++level;
            }
        }
    }

    // Rows of errors still to come: this row's, the next's, the one after.
    std::array<std::array<int, GridColumns>, 3> rowErrors{};
    // The errors this row leaves, with a zero either side.
    std::array<int, GridColumns + 2> left{};
    int* const errors = left.data() + 1;
    DiffusionRow r{};
    r.shareOf = shareOf.data() - Lowest;
    r.errors = errors;

    for (int y = 0; y < GridRows; ++y) {
        const std::size_t row = gridIndex(0, y);
        r.values = grey.data() + row;
        r.here = rowErrors[static_cast<std::size_t>(y % 3)].data();
        r.bits = bits.data() + row;
        int* const below = rowErrors[static_cast<std::size_t>((y + 1) % 3)].data();
        int* const twoBelow = rowErrors[static_cast<std::size_t>((y + 2) % 3)].data();
        if (lean) {
            r.lastBits = history->bits.data() + row;
            r.decidedAt = history->decidedAt.data() + row;
            if (y % 2 == 0) {
                diffuseRow<Kernel, 1, true>(r);
            } else {
                diffuseRow<Kernel, -1, true>(r);
            }
        } else {
            if (y % 2 == 0) {
                diffuseRow<Kernel, 1, false>(r);
            } else {
                diffuseRow<Kernel, -1, false>(r);
            }
            if (history) {
                std::copy(r.values, r.values + GridColumns, history->decidedAt.data() + row);
            }
        }

        // The pixel behind (in the row's direction) passes on its
        // belowAhead share, the one ahead its belowBehind share.
        const int dir = y % 2 == 0 ? 1 : -1;
        const int* const behind = errors - dir;
        const int* const ahead = errors + dir;
        for (int x = 0; x < GridColumns; ++x) {
            below[x] += Kernel::share(ahead[x]).belowBehind + Kernel::share(errors[x]).below +
                        Kernel::share(behind[x]).belowAhead;
            twoBelow[x] = Kernel::share(errors[x]).twoBelow;
        }
    }
}

// Marks the pixels of the calculator frame whose 5 x 5 neighbourhood (cut
// at the frame's edges) varies by less than FlatDeviation.
std::array<std::uint8_t, GridCells> flatAreas(const GreyGrid& grey)
{
    // Sums of the values and their squares over the rectangles from the
    // top-left corner.
    constexpr int Stride = ScreenWidth + 1;
    std::vector<std::int64_t> sums(static_cast<std::size_t>(Stride * (ScreenHeight + 1)), 0);
    std::vector<std::int64_t> squares(sums.size(), 0);
    const auto at = [](int x, int y) { return static_cast<std::size_t>(y * Stride + x); };
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const std::int64_t v = grey[gridIndex(x, y)];
            sums[at(x + 1, y + 1)] = v + sums[at(x, y + 1)] + sums[at(x + 1, y)] - sums[at(x, y)];
            squares[at(x + 1, y + 1)] = v * v + squares[at(x, y + 1)] + squares[at(x + 1, y)] - squares[at(x, y)];
        }
    }
    // Values are scaled by three: compare n * sum(v^2) - sum(v)^2 with
    // n^2 * (3 d)^2.
    constexpr std::int64_t Limit = 9 * FlatDeviation * FlatDeviation;
    std::array<std::uint8_t, GridCells> flat{};
    for (int y = 0; y < ScreenHeight; ++y) {
        const int y0 = std::max(0, y - 2);
        const int y1 = std::min(ScreenHeight, y + 3);
        for (int x = 0; x < ScreenWidth; ++x) {
            const int x0 = std::max(0, x - 2);
            const int x1 = std::min(ScreenWidth, x + 3);
            const std::int64_t n = (x1 - x0) * (y1 - y0);
            const std::int64_t sum = sums[at(x1, y1)] - sums[at(x0, y1)] - sums[at(x1, y0)] + sums[at(x0, y0)];
            const std::int64_t square =
                squares[at(x1, y1)] - squares[at(x0, y1)] - squares[at(x1, y0)] + squares[at(x0, y0)];
            flat[gridIndex(x, y)] = n * square - sum * sum < n * n * Limit ? 1 : 0;
        }
    }
    return flat;
}

// The search's first guess is the last frame's pixel where the value has
// stayed put, the 2 x 2 ordered dither elsewhere; flat areas take the
// nearest of the three tones and stay out of the search.
void search(const GreyGrid& grey, const ReductionParameters& p, FrameHistory* history, BitGrid& bits)
{
    ordered(grey, p, bayerMap(2), history, bits);
    const ThresholdMap& map = bayerMap(2);
    const std::array<std::uint8_t, GridCells> flat = flatAreas(grey);
    const bool lean = history != nullptr && history->hasFrame;
    const int span = p.white3 - p.black3;
    // Three tones: the two lower ranks' threshold at 1/4, the others' at
    // 3/4, compared times eight as in ordered().
    const int hysteresis = 8 * 3 * OrderedHysteresis;
    SearchLevels target;
    for (int y = 0; y < GridRows; ++y) {
        for (int x = 0; x < GridColumns; ++x) {
            const std::size_t i = gridIndex(x, y);
            const int v = grey[i];
            const bool inBand = v >= p.black3 && v <= p.white3 && x < ScreenWidth && y < ScreenHeight;
            if (inBand && flat[i]) {
                int threshold = 8 * p.black3 + (map.rank(x, y) < 2 ? 2 : 6) * span;
                if (lean) {
                    threshold += history->bits[i] ? hysteresis : -hysteresis;
                }
                bits[i] = 8 * v < threshold ? 1 : 0;
            }
            target.fixed[i] = inBand && !flat[i] ? 0 : 1;
            target.levels[i] = v < p.black3 ? 0.0f
                               : v > p.white3 ? 1.0f
                               : span > 0   ? static_cast<float>(v - p.black3) / static_cast<float>(span)
                                            : 0.5f;
            // A still pixel keeps its colour whether its area counts as flat
            // or not: noise moves an area across that line.
            if (lean && inBand && std::abs(v - history->decidedAt[i]) <= StaticTolerance3) {
                bits[i] = history->bits[i];
            } else if (history) {
                history->decidedAt[i] = static_cast<std::int16_t>(v);
            }
        }
    }
    searchBits(target, history, bits);
}

}  // namespace

void FrameHistory::reset()
{
    hasFrame = false;
    bits.fill(0);
    decidedAt.fill(0);
    exposure.reset();
}

void reduceGrid(const GreyGrid& grey, const ReductionParameters& p, FrameHistory* history, BitGrid& bits)
{
    if (!p.dither) {
        plain(grey, p, bits);
    } else {
        switch (p.pattern) {
        case Pattern::Checkerboard: plain(grey, p, bits); break;
        case Pattern::Bayer2: ordered(grey, p, bayerMap(2), history, bits); break;
        case Pattern::Bayer4: ordered(grey, p, bayerMap(4), history, bits); break;
        case Pattern::Bayer8: ordered(grey, p, bayerMap(8), history, bits); break;
        case Pattern::BlueNoise: ordered(grey, p, blueNoiseMap(), history, bits); break;
        case Pattern::Diffusion:
        case Pattern::Atkinson:
            if (history != nullptr && history->hasFrame) {
                followMotion(grey, p, *history);
            }
            if (p.pattern == Pattern::Diffusion) {
                diffuse<FloydSteinberg>(grey, p, history, bits);
            } else {
                diffuse<Atkinson>(grey, p, history, bits);
            }
            break;
        case Pattern::Search: search(grey, p, history, bits); break;
        }
    }
    if (history) {
        history->bits = bits;
        history->hasFrame = true;
    }
}

}  // namespace zoetra
