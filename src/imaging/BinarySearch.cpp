#include "imaging/BinarySearch.h"

#include "imaging/Reduction.h"

#include <array>
#include <cmath>
#include <vector>

namespace zoetra {

namespace {

constexpr int W = ScreenWidth;
constexpr int H = ScreenHeight;
constexpr int Pixels = W * H;

// The eye's blur is a Gaussian of sigma ModelSigma: the calculator's pixels
// seen sharply. (A wider blur lets the search leave textures that show.)
// What the search needs is that blur correlated with itself.
constexpr double ModelSigma = 0.7;
constexpr int Radius = 4;
constexpr int Side = 2 * Radius + 1;

// Costs of a change from the last frame, in units of the blurred squared
// error (one pixel wholly wrong costs about 0.1).
constexpr float PixelChangeCost = 0.004f;
constexpr float ByteChangeCost = 0.03f;

constexpr int MaxPasses = 8;

struct Kernel {
    std::array<float, Side * Side> k{};
    float at(int dx, int dy) const { return k[static_cast<std::size_t>((dy + Radius) * Side + dx + Radius)]; }
};

const Kernel& autocorrelation()
{
    static const Kernel kernel = [] {
        // The blur's own kernel, normalised, then correlated with itself.
        constexpr int R = Radius / 2;
        std::array<double, (2 * R + 1) * (2 * R + 1)> g{};
        double total = 0;
        for (int y = -R; y <= R; ++y) {
            for (int x = -R; x <= R; ++x) {
                total += g[static_cast<std::size_t>((y + R) * (2 * R + 1) + x + R)] =
                    std::exp(-(x * x + y * y) / (2 * ModelSigma * ModelSigma));
            }
        }
        Kernel result;
        for (int dy = -Radius; dy <= Radius; ++dy) {
            for (int dx = -Radius; dx <= Radius; ++dx) {
                double sum = 0;
                for (int y = -R; y <= R; ++y) {
                    for (int x = -R; x <= R; ++x) {
                        const int x2 = x + dx;
                        const int y2 = y + dy;
                        if (x2 < -R || x2 > R || y2 < -R || y2 > R) {
                            continue;
                        }
                        sum += g[static_cast<std::size_t>((y + R) * (2 * R + 1) + x + R)] *
                               g[static_cast<std::size_t>((y2 + R) * (2 * R + 1) + x2 + R)];
                    }
                }
                result.k[static_cast<std::size_t>((dy + Radius) * Side + dx + Radius)] =
                    static_cast<float>(sum / (total * total));
            }
        }
        return result;
    }();
    return kernel;
}

class Search {
public:
    Search(const SearchLevels& target, const FrameHistory* history, BitGrid& bits)
        : target_(target), bits_(bits), kernel_(autocorrelation()), k0_(kernel_.at(0, 0))
    {
        if (history != nullptr && history->hasFrame) {
            previous_ = &history->bits;
        }
        // c = K * (white - target), the error correlated with the blur.
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const float d = white(x, y) - level(x, y);
                if (d != 0.0f) {
                    spread(x, y, d);
                }
                if (previous_ && differs(x, y)) {
                    ++changed_[byteOf(x, y)];
                }
            }
        }
    }

    void run()
    {
        static constexpr int Neighbours[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
        for (int pass = 0; pass < MaxPasses; ++pass) {
            int moves = 0;
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    if (fixed(x, y)) {
                        continue;
                    }
                    const float dp = white(x, y) > 0.5f ? -1.0f : 1.0f;
                    float best = 2 * dp * c(x, y) + k0_ + changeCost(x, y, -1, -1);
                    int bestN = -1;
                    for (int n = 0; n < 8; ++n) {
                        const int qx = x + Neighbours[n][0];
                        const int qy = y + Neighbours[n][1];
                        if (qx < 0 || qy < 0 || qx >= W || qy >= H || fixed(qx, qy)) {
                            continue;
                        }
                        const float dq = white(qx, qy) > 0.5f ? -1.0f : 1.0f;
                        if (dq == dp) {
                            continue;
                        }
                        const float delta = 2 * dp * c(x, y) + 2 * dq * c(qx, qy) + 2 * k0_ +
                                            2 * dp * dq * kernel_.at(qx - x, qy - y) + changeCost(x, y, qx, qy);
                        if (delta < best) {
                            best = delta;
                            bestN = n;
                        }
                    }
                    if (best < -1e-6f) {
                        toggle(x, y);
                        if (bestN >= 0) {
                            toggle(x + Neighbours[bestN][0], y + Neighbours[bestN][1]);
                        }
                        ++moves;
                    }
                }
            }
            if (moves == 0) {
                break;
            }
        }
    }

private:
    static std::size_t at(int x, int y) { return static_cast<std::size_t>(y * W + x); }
    static std::size_t byteOf(int x, int y) { return static_cast<std::size_t>(y * BytesPerRow + x / 8); }
    float white(int x, int y) const { return bits_[gridIndex(x, y)] ? 0.0f : 1.0f; }
    float level(int x, int y) const { return target_.levels[gridIndex(x, y)]; }
    bool fixed(int x, int y) const { return target_.fixed[gridIndex(x, y)] != 0; }
    float c(int x, int y) const { return c_[at(x, y)]; }
    bool differs(int x, int y) const { return bits_[gridIndex(x, y)] != (*previous_)[gridIndex(x, y)]; }

    void spread(int x, int y, float d)
    {
        for (int dy = -Radius; dy <= Radius; ++dy) {
            const int yy = y + dy;
            if (yy < 0 || yy >= H) {
                continue;
            }
            for (int dx = -Radius; dx <= Radius; ++dx) {
                const int xx = x + dx;
                if (xx >= 0 && xx < W) {
                    c_[at(xx, yy)] += d * kernel_.at(dx, dy);
                }
            }
        }
    }

    void toggle(int x, int y)
    {
        const float d = white(x, y) > 0.5f ? -1.0f : 1.0f;
        if (previous_) {
            changed_[byteOf(x, y)] += differs(x, y) ? -1 : 1;
        }
        bits_[gridIndex(x, y)] ^= 1;
        spread(x, y, d);
    }

    // What toggling (x, y), and (qx, qy) if given, costs in changes from the
    // last frame.
    float changeCost(int x, int y, int qx, int qy) const
    {
        if (!previous_) {
            return 0.0f;
        }
        const int dp = differs(x, y) ? -1 : 1;
        float cost = PixelChangeCost * static_cast<float>(dp);
        const std::size_t bp = byteOf(x, y);
        if (qx < 0) {
            return cost + byteCost(changed_[bp], changed_[bp] + dp);
        }
        const int dq = differs(qx, qy) ? -1 : 1;
        cost += PixelChangeCost * static_cast<float>(dq);
        const std::size_t bq = byteOf(qx, qy);
        if (bp == bq) {
            return cost + byteCost(changed_[bp], changed_[bp] + dp + dq);
        }
        return cost + byteCost(changed_[bp], changed_[bp] + dp) + byteCost(changed_[bq], changed_[bq] + dq);
    }

    static float byteCost(int before, int after)
    {
        return ByteChangeCost * static_cast<float>((after > 0 ? 1 : 0) - (before > 0 ? 1 : 0));
    }

    const SearchLevels& target_;
    BitGrid& bits_;
    const Kernel& kernel_;
    const float k0_;
    const BitGrid* previous_ = nullptr;
    std::array<float, Pixels> c_{};
    std::array<int, FrameByteCount> changed_{};
};

}  // namespace

void searchBits(const SearchLevels& target, const FrameHistory* history, BitGrid& bits)
{
    Search search(target, history, bits);
    search.run();
}

}  // namespace zoetra
