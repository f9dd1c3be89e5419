#include "imaging/Reduction.h"

#include "imaging/BinarySearch.h"
#include "imaging/ThresholdMaps.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

struct Spread {
    int dx;
    int dy;
    float weight;
};
constexpr Spread FloydSteinberg[] = {{1, 0, 7 / 16.f}, {-1, 1, 3 / 16.f}, {0, 1, 5 / 16.f}, {1, 1, 1 / 16.f}};
// Atkinson passes on three quarters of the error, which keeps highlights
// and shadows clean.
constexpr Spread Atkinson[] = {{1, 0, 1 / 8.f}, {2, 0, 1 / 8.f}, {-1, 1, 1 / 8.f},
                               {0, 1, 1 / 8.f}, {1, 1, 1 / 8.f}, {0, 2, 1 / 8.f}};

template <std::size_t N>
void diffuse(const GreyGrid& grey, const ReductionParameters& p, const Spread (&spread)[N],
             FrameHistory* history, BitGrid& bits)
{
    constexpr int Margin = 2;
    constexpr int Width = GridColumns + 2 * Margin;
    std::array<std::array<float, Width>, 3> errors{};
    const int span = p.white3 - p.black3;
    const float scale = span > 0 ? 1.0f / static_cast<float>(span) : 0.0f;
    const bool lean = history != nullptr && history->hasFrame;

    for (int y = 0; y < GridRows; ++y) {
        auto& current = errors[static_cast<std::size_t>(y % 3)];
        errors[static_cast<std::size_t>((y + 2) % 3)].fill(0.0f);
        // Serpentine: every other row runs right to left, its spread mirrored.
        const int dir = (y % 2 == 0) ? 1 : -1;
        for (int k = 0; k < GridColumns; ++k) {
            const int x = dir > 0 ? k : GridColumns - 1 - k;
            const std::size_t i = gridIndex(x, y);
            const int v = grey[i];
            if (v < p.black3 || v > p.white3) {
                // Solid areas take no error and pass none on.
                bits[i] = v < p.black3 ? 1 : 0;
                if (history) {
                    history->decidedAt[i] = static_cast<std::int16_t>(v);
                }
                continue;
            }
            const float level = span > 0 ? static_cast<float>(v - p.black3) * scale : 0.5f;
            const float wanted = level + current[static_cast<std::size_t>(x + Margin)];
            bool white;
            if (lean) {
                const bool wasWhite = history->bits[i] == 0;
                const float was = wasWhite ? 1.0f : 0.0f;
                if (std::abs(v - history->decidedAt[i]) <= StaticTolerance3 && std::abs(wanted - was) <= KeepLimit) {
                    white = wasWhite;
                } else {
                    white = wanted >= 0.5f + (wasWhite ? -Lean : Lean);
                    history->decidedAt[i] = static_cast<std::int16_t>(v);
                }
            } else {
                white = wanted >= 0.5f;
                if (history) {
                    history->decidedAt[i] = static_cast<std::int16_t>(v);
                }
            }
            bits[i] = white ? 0 : 1;
            const float error = wanted - (white ? 1.0f : 0.0f);
            for (const Spread& s : spread) {
                auto& row = errors[static_cast<std::size_t>((y + s.dy) % 3)];
                row[static_cast<std::size_t>(x + dir * s.dx + Margin)] += error * s.weight;
            }
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
            if (lean && !target.fixed[i] && std::abs(v - history->decidedAt[i]) <= StaticTolerance3) {
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
        case Pattern::Diffusion: diffuse(grey, p, FloydSteinberg, history, bits); break;
        case Pattern::Atkinson: diffuse(grey, p, Atkinson, history, bits); break;
        case Pattern::Search: search(grey, p, history, bits); break;
        }
    }
    if (history) {
        history->bits = bits;
        history->hasFrame = true;
    }
}

}  // namespace zoetra
