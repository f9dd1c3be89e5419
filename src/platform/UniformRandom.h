#pragma once

#include <cstdint>
#include <random>

namespace zoetra {

// Uniform numbers in 0 <= r < 1, single precision. The engine keeps its
// default seed, so every program start draws the same sequence.
class UniformRandom {
public:
    float next()
    {
        // 24 random bits fill a float's mantissa exactly, so r never rounds
        // up to 1 (which std::generate_canonical<float> may do).
        const std::uint32_t bits = static_cast<std::uint32_t>(engine_()) >> 8;
        return static_cast<float>(bits) * (1.0f / 16777216.0f);
    }

private:
    std::mt19937 engine_;
};

}  // namespace zoetra
