#include "imaging/ThresholdMaps.h"

#include <cmath>
#include <random>
#include <stdexcept>

namespace zoetra {

namespace {

ThresholdMap makeBayer(int size)
{
    // M(2n) = [4M + 0, 4M + 2; 4M + 3, 4M + 1], from M(1) = [0].
    ThresholdMap map{1, {0}};
    while (map.size < size) {
        const int n = map.size;
        ThresholdMap next{2 * n, std::vector<std::uint16_t>(static_cast<std::size_t>(4 * n * n))};
        constexpr int offsets[2][2] = {{0, 2}, {3, 1}};
        for (int y = 0; y < 2 * n; ++y) {
            for (int x = 0; x < 2 * n; ++x) {
                next.ranks[static_cast<std::size_t>(y * 2 * n + x)] =
                    static_cast<std::uint16_t>(4 * map.rank(x % n, y % n) + offsets[y / n][x / n]);
            }
        }
        map = std::move(next);
    }
    return map;
}

// The energy of a set of pixels on a torus: each set pixel spreads a
// Gaussian over its neighbours. Kept up to date as pixels come and go.
class Energy {
public:
    Energy(int size, double sigma) : size_(size), kernel_(cells()), energy_(cells(), 0.0)
    {
        for (int dy = 0; dy < size; ++dy) {
            for (int dx = 0; dx < size; ++dx) {
                const int wx = std::min(dx, size - dx);
                const int wy = std::min(dy, size - dy);
                kernel_[index(dx, dy)] = std::exp(-(wx * wx + wy * wy) / (2.0 * sigma * sigma));
            }
        }
    }

    void add(std::size_t cell, double sign)
    {
        const int cx = static_cast<int>(cell) % size_;
        const int cy = static_cast<int>(cell) / size_;
        for (int y = 0; y < size_; ++y) {
            const int dy = (y - cy + size_) % size_;
            for (int x = 0; x < size_; ++x) {
                const int dx = (x - cx + size_) % size_;
                energy_[index(x, y)] += sign * kernel_[index(dx, dy)];
            }
        }
    }

    // The set pixel with the most energy around it (the tightest cluster),
    // or the unset one with the least (the largest void).
    std::size_t extreme(const std::vector<bool>& set, bool wantSet) const
    {
        std::size_t best = 0;
        bool found = false;
        for (std::size_t i = 0; i < energy_.size(); ++i) {
            if (set[i] != wantSet) {
                continue;
            }
            if (!found || (wantSet ? energy_[i] > energy_[best] : energy_[i] < energy_[best])) {
                best = i;
                found = true;
            }
        }
        return best;
    }

private:
    std::size_t cells() const { return static_cast<std::size_t>(size_ * size_); }
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y * size_ + x); }

    int size_;
    std::vector<double> kernel_;
    std::vector<double> energy_;
};

}  // namespace

const ThresholdMap& bayerMap(int size)
{
    static const ThresholdMap bayer2 = makeBayer(2);
    static const ThresholdMap bayer4 = makeBayer(4);
    static const ThresholdMap bayer8 = makeBayer(8);
    switch (size) {
    case 2: return bayer2;
    case 4: return bayer4;
    case 8: return bayer8;
    default: throw std::invalid_argument("no Bayer map of that size");
    }
}

const ThresholdMap& blueNoiseMap()
{
    static const ThresholdMap map = makeBlueNoiseMap(64, 20261208u);
    return map;
}

ThresholdMap makeBlueNoiseMap(int size, unsigned seed)
{
    const std::size_t cells = static_cast<std::size_t>(size * size);
    constexpr double Sigma = 1.5;

    // A first pattern of about a tenth of the pixels, at random. The raw
    // generator's numbers are the same everywhere; its distributions are not.
    std::mt19937 random(seed);
    std::vector<bool> initial(cells, false);
    const std::size_t ones = std::max<std::size_t>(1, cells / 10);
    for (std::size_t placed = 0; placed < ones;) {
        const std::size_t cell = random() % cells;
        if (!initial[cell]) {
            initial[cell] = true;
            ++placed;
        }
    }
    Energy energy(size, Sigma);
    for (std::size_t i = 0; i < cells; ++i) {
        if (initial[i]) {
            energy.add(i, 1.0);
        }
    }
    // Spread it out: move the tightest cluster's pixel into the largest void
    // until it would come back to where it was.
    for (std::size_t round = 0; round < cells; ++round) {
        const std::size_t cluster = energy.extreme(initial, true);
        initial[cluster] = false;
        energy.add(cluster, -1.0);
        const std::size_t voidCell = energy.extreme(initial, false);
        initial[voidCell] = true;
        energy.add(voidCell, 1.0);
        if (voidCell == cluster) {
            break;
        }
    }

    ThresholdMap map{size, std::vector<std::uint16_t>(cells, 0)};
    // Ranks below the first pattern's count: take its pixels away, tightest
    // cluster first, from the highest rank down.
    {
        std::vector<bool> set = initial;
        Energy e = energy;
        for (std::size_t rank = ones; rank-- > 0;) {
            const std::size_t cluster = e.extreme(set, true);
            set[cluster] = false;
            e.add(cluster, -1.0);
            map.ranks[cluster] = static_cast<std::uint16_t>(rank);
        }
    }
    // Ranks above it: fill the largest void each time, until the map is full.
    std::vector<bool> set = initial;
    for (std::size_t rank = ones; rank < cells; ++rank) {
        const std::size_t voidCell = energy.extreme(set, false);
        set[voidCell] = true;
        energy.add(voidCell, 1.0);
        map.ranks[voidCell] = static_cast<std::uint16_t>(rank);
    }
    return map;
}

}  // namespace zoetra
