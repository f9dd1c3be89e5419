#pragma once

#include "shared/Screen.h"

#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace zoetra::test {

using ScreenBytes = zoetra::Screen;

// A random sequence of screens whose frames change in the ways a video
// stream meets: not at all, everywhere (noise, inversion, a new scene), in a
// few bytes, in runs, by moving what was there (rows and bytes shifted, in
// either direction), by swapping blocks of the frame before, and by drawing
// solid and patterned areas.
std::vector<ScreenBytes> randomScreenSequence(std::mt19937& random, int frames);

// Screens whose every byte is, at random, one of `bytes` or, as often as any
// one of them, `other`.
std::vector<ScreenBytes> screensOfBytes(std::mt19937& random, int frames, std::span<const std::uint8_t> bytes,
                                        std::uint8_t other);


}  // namespace zoetra::test
