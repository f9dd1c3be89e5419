#pragma once

#include <cstdint>
#include <vector>

namespace zoetra {

// A square threshold map for ordered dithering: every cell holds its rank
// 0..size*size-1, each rank once. A grey at level g (0 black .. 1 white)
// is black in the cells whose threshold (rank + 1/2) / (size * size) lies
// above g. The map is laid on the screen from its top-left corner and
// repeated.
struct ThresholdMap {
    int size = 0;
    std::vector<std::uint16_t> ranks;  // row-major, size * size

    int rank(int x, int y) const { return ranks[static_cast<std::size_t>((y % size) * size + x % size)]; }
    int cells() const { return size * size; }
};

// The Bayer map of side 2, 4 or 8 (any power of two).
const ThresholdMap& bayerMap(int size);

// A 64 x 64 blue-noise map, made by the void-and-cluster method on a torus
// (so the tiles join without a seam) from a fixed seed: the same map on
// every platform. Made once, on first use.
const ThresholdMap& blueNoiseMap();

// The void-and-cluster construction itself, for any side.
ThresholdMap makeBlueNoiseMap(int size, unsigned seed);

}  // namespace zoetra
