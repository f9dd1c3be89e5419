#pragma once

#include "shared/Types.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace zoetra {

inline constexpr int GridCells = GridColumns * GridRows;

// Channel values of the 97 x 65 grid scaled by three (the mean of three
// channels stays an integer), row by row; -1 and -3 for unreadable pixels.
using GreyGrid = std::array<std::int16_t, GridCells>;
// The reduced grid, row by row: 1 black, 0 white.
using BitGrid = std::array<std::uint8_t, GridCells>;

constexpr std::size_t gridIndex(int x, int y)
{
    return static_cast<std::size_t>(y * GridColumns + x);
}

}  // namespace zoetra
