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
    // share(w - (black ? 0 : One)).next1 for a mask `black`, worked out
    // beside the choice instead of after it: One is a multiple of 16, so
    // the white point's share comes off whole.
    static int nextOf(int w, int black) { return ((w * 7) >> 4) - One * 7 / 16 + (black & (One * 7 / 16)); }
};

// Atkinson passes on three quarters of the error, which keeps highlights
// and shadows clean.
struct Atkinson {
    static Shares share(int e)
    {
        const int eighth = e >> 3;
        return {eighth, eighth, eighth, eighth, eighth, eighth};
    }
    static int nextOf(int w, int black) { return (w >> 3) - One / 8 + (black & (One / 8)); }
};
static_assert(One % 16 == 0, "the white point's shares are whole");

constexpr int Block = 8;

// How far apart two rows of eight values are: the eight differences side by
// side in vector steps, each exact in 16 bits without sign.
int rowMismatch(const std::int16_t* now, const std::int16_t* then)
{
    std::array<std::uint16_t, Block> differences;
    for (std::size_t k = 0; k < Block; ++k) {
        const auto a = static_cast<std::uint16_t>(now[k]);
        const auto b = static_cast<std::uint16_t>(then[k]);
        differences[k] = static_cast<std::uint16_t>(now[k] > then[k] ? a - b : b - a);
    }
    int sum = 0;
    for (const int d : differences) {
        sum += d;
    }
    return sum;
}

// How far apart two blocks are, on every other row; given up as soon as it
// reaches `limit`. The rows are written out, and the function kept out of
// line: in a loop, or inlined into the search, GCC leaves the vector steps.
#if defined(__GNUC__)
[[gnu::noinline]]
#endif
int blockMismatch(const std::int16_t* now, const std::int16_t* then, int limit)
{
    static_assert(Block == 8);
    constexpr std::size_t Step = 2 * GridColumns;
    int sum = rowMismatch(now, then);
    if (sum >= limit) {
        return sum;
    }
    sum += rowMismatch(now + Step, then + Step);
    if (sum >= limit) {
        return sum;
    }
    sum += rowMismatch(now + 2 * Step, then + 2 * Step);
    if (sum >= limit) {
        return sum;
    }
    return sum + rowMismatch(now + 3 * Step, then + 3 * Step);
}

// Moves the history with the picture, block by block, so that where the
// picture moves the pattern moves with it instead of being diffused anew:
// for each 8 x 8 block with grey in it, the shift of at most one pixel whose
// decision values best match the new frame on every other row; the block's
// last pixels and decision values are taken from there. A still block, or
// one no shift matches clearly better, keeps its own. The blocks of the
// grid's edge keep theirs too, where new picture comes in.
void followMotion(const GreyGrid& grey, const ReductionParameters& p, FrameHistory& history)
{
    const BitGrid lastBits = history.bits;
    const GreyGrid lastAt = history.decidedAt;
    int lastX = 0;
    int lastY = 0;
    for (int by = 1; by < ScreenHeight / Block - 1; ++by) {
        for (int bx = 1; bx < ScreenWidth / Block - 1; ++bx) {
            const int x0 = bx * Block;
            const int y0 = by * Block;
            // A shift is given up as soon as it cannot beat `limit`.
            const auto mismatch = [&](int dx, int dy, int limit) {
                return blockMismatch(&grey[gridIndex(x0, y0)], &lastAt[gridIndex(x0 - dx, y0 - dy)], limit);
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

// Every threshold lies between 0 and One, so an error passed on stays
// within about One of 0 and a wanted value within a few One (the rounding
// of the shares adds no more than a few levels a pixel, and a frame starts
// without error). Solid pixels are given thresholds of +-Solid, which no
// wanted value reaches and from which subtracting one cannot overflow.
constexpr int Solid = 1 << 28;

// How the diffusion decides a pixel, by its class: under a history 2 if
// it stayed still, plus 1 if it was black; 4 without a history; 5 and 6
// solid black and solid white, outside the band.
struct alignas(16) Decision {
    int whiteFrom;  // the least wanted value that gives white
    int inBand;     // -1 where the pixel takes error and passes it on, else 0
    // A still pixel keeps the value it was decided at (mayKeep) while the
    // value it wants lies within 2 * KeepLimitQ from keepFrom on.
    int keepFrom;
    int mayKeep;
};
constexpr std::array<Decision, 7> Decisions = {{
    {ChangedWhiteStays, -1, 0, 0},
    {ChangedBlackTurns, -1, 0, 0},
    {StillWhiteStays, -1, One - KeepLimitQ, 1},
    {StillBlackTurns, -1, -KeepLimitQ, 1},
    {Half, -1, 0, 0},
    {Solid, 0, 0, 0},
    {-Solid, 0, 0, 0},
}};
constexpr std::uint8_t Afresh = 4;
constexpr std::uint8_t SolidBlack = 5;
constexpr std::uint8_t SolidWhite = 6;

// The values whose levels are tabled: the unreadable -3 to the brightest.
// Others (from negative colours no area of ours gives) are looked up at the
// nearer end: a level counts only inside the band, which thresholds from 0
// to 765 keep them out of.
constexpr int LowestValue = -3;
constexpr int HighestValue = 765;

// The thresholds as 16-bit values compare with the grid's values.
struct Band16 {
    std::int16_t black3;
    std::int16_t white3;
    std::int16_t allBlack;  // -1 where black3 lies above every 16-bit value
    std::int16_t allWhite;  // -1 where white3 lies below every one
};

// Each pixel's class and the value its level is looked up by, for a row.
// In vector steps: all in 16 bits (the difference of two values exact
// without sign), with masks instead of choices.
template <bool Lean>
void classify(const std::int16_t* values, const std::int16_t* decidedAt, const std::uint8_t* lastBits,
              const Band16& band, std::uint8_t* classes, std::int16_t* tabled)
{
    const Band16 b = band;
    for (int x = 0; x < GridColumns; ++x) {
        const std::int16_t v = values[x];
        int decided = Afresh;
        if constexpr (Lean) {
            const std::int16_t at = decidedAt[x];
            const auto difference = static_cast<std::uint16_t>(static_cast<std::uint16_t>(std::max(v, at)) -
                                                               static_cast<std::uint16_t>(std::min(v, at)));
            decided = 2 * (difference <= StaticTolerance3) + (lastBits[x] != 0);
        }
        const int black = -static_cast<int>(v < b.black3) | b.allBlack;
        const int white = -static_cast<int>(v > b.white3) | b.allWhite;
        classes[x] =
            static_cast<std::uint8_t>((black & SolidBlack) | (~black & ((white & SolidWhite) | (~white & decided))));
        tabled[x] = std::clamp<std::int16_t>(v, LowestValue, HighestValue);
    }
}

// Diffuses one row in the direction Dir (1 to the right, -1 to the left):
// the only part of the diffusion that goes pixel after pixel, and so no
// more than the chain of errors from one pixel to the next. Masks (0 or -1)
// instead of branches: the choices are as good as random, and a
// mispredicted branch a pixel would cost more than the rest. Leaves each
// pixel's colour, the error it passes on, and whether it keeps its decision
// value.
template <class Kernel, int Dir>
void diffuseRow(const int* levelOf, const std::int16_t* tabled, const std::uint8_t* classes, const int* here,
                std::uint8_t* bits, int* errors, std::uint8_t* keeps)
{
    int next1 = 0;
    int next2 = 0;
    constexpr int First = Dir > 0 ? 0 : GridColumns - 1;
    for (int k = 0, x = First; k < GridColumns; ++k, x += Dir) {
        const Decision& d = Decisions[classes[x]];
        const int w = levelOf[tabled[x]] + here[x] + next1;
        const int black = (w - d.whiteFrom) >> 31;  // -1 below the threshold
        const int e = (w - One + (black & One)) & d.inBand;
        next1 = next2 + (Kernel::nextOf(w, black) & d.inBand);
        next2 = Kernel::share(e).next2;
        errors[x] = e;
        bits[x] = static_cast<std::uint8_t>(black & 1);
        keeps[x] = static_cast<std::uint8_t>(d.mayKeep & (static_cast<unsigned>(w - d.keepFrom) <= 2 * KeepLimitQ));
    }
}

// Serpentine: every other row runs right to left, its spread mirrored.
// Each row in four passes, all but the diffusion along the row in vector
// steps: the pixels' classes, the diffusion, the decision values kept or
// renewed, the error passed down spread (each pixel of the row below
// gathering its shares).
template <class Kernel>
void diffuse(const GreyGrid& grey, const ReductionParameters& p, FrameHistory* history, BitGrid& bits)
{
    const int black3 = p.black3;
    const int white3 = p.white3;
    const int span = white3 - black3;
    const bool lean = history != nullptr && history->hasFrame;
    constexpr int Low16 = std::numeric_limits<std::int16_t>::min();
    constexpr int High16 = std::numeric_limits<std::int16_t>::max();
    const Band16 band{static_cast<std::int16_t>(std::clamp(black3, Low16, High16)),
                      static_cast<std::int16_t>(std::clamp(white3, Low16, High16)),
                      static_cast<std::int16_t>(black3 > High16 ? -1 : 0),
                      static_cast<std::int16_t>(white3 < Low16 ? -1 : 0)};

    // Each in-band value's level, (v - black3) * One / span, stepped without
    // a division each.
    std::array<int, HighestValue - LowestValue + 1> levels{};
    {
        const int from = std::max(LowestValue, black3);
        const int to = std::min(HighestValue, white3);
        const int step = span > 0 ? One / span : 0;
        const int stepRest = span > 0 ? One % span : 0;
        int level = span > 0 ? (from - black3) * One / span : Half;
        int rest = span > 0 ? (from - black3) * One % span : 0;
        for (int v = from; v <= to; ++v) {
            levels[static_cast<std::size_t>(v - LowestValue)] = level;
            level += step;
            rest += stepRest;
            if (rest >= span && span > 0) {
                rest -= span;
                ++level;
            }
        }
    }
    const int* const levelOf = levels.data() - LowestValue;

    // Rows of errors still to come: this row's, the next's, the one after.
    std::array<std::array<int, GridColumns>, 3> rowErrors{};
    // The errors this row leaves, with a zero either side.
    std::array<int, GridColumns + 2> left{};
    int* const errors = left.data() + 1;
    std::array<std::uint8_t, GridColumns> classes;
    std::array<std::int16_t, GridColumns> tabled;
    std::array<std::uint8_t, GridColumns> keeps;

    for (int y = 0; y < GridRows; ++y) {
        const std::size_t row = gridIndex(0, y);
        const std::int16_t* const values = grey.data() + row;
        const int* const here = rowErrors[static_cast<std::size_t>(y % 3)].data();
        int* const below = rowErrors[static_cast<std::size_t>((y + 1) % 3)].data();
        int* const twoBelow = rowErrors[static_cast<std::size_t>((y + 2) % 3)].data();

        if (lean) {
            classify<true>(values, history->decidedAt.data() + row, history->bits.data() + row, band,
                           classes.data(), tabled.data());
        } else {
            classify<false>(values, nullptr, nullptr, band, classes.data(), tabled.data());
        }
        if (y % 2 == 0) {
            diffuseRow<Kernel, 1>(levelOf, tabled.data(), classes.data(), here, bits.data() + row, errors,
                                  keeps.data());
        } else {
            diffuseRow<Kernel, -1>(levelOf, tabled.data(), classes.data(), here, bits.data() + row, errors,
                                   keeps.data());
        }
        if (history) {
            std::int16_t* const decidedAt = history->decidedAt.data() + row;
            for (int x = 0; x < GridColumns; ++x) {
                const auto keep = static_cast<std::int16_t>(-keeps[static_cast<std::size_t>(x)]);
                decidedAt[x] = static_cast<std::int16_t>((decidedAt[x] & keep) | (values[x] & ~keep));
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
