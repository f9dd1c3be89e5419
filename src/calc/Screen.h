#pragma once

#include "shared/Screen.h"

#include <cstddef>
#include <cstdint>

namespace zoetra::calc {

using zoetra::ScreenHeight;
using zoetra::ScreenWidth;
inline constexpr std::size_t ScreenBytes = ScreenByteCount;

// The LCD's pixels in plotSScreen's layout: 12 bytes a row, the leftmost
// pixel in bit 7, a set bit dark.
using zoetra::Screen;

inline bool darkPixel(const Screen& screen, int x, int y)
{
    return (screen[static_cast<std::size_t>(y * BytesPerRow + x / 8)] >> (7 - x % 8) & 1) != 0;
}

// The calculator's colours as 0xRRGGBB: dark pixels on a grey-green LCD.
inline constexpr std::uint32_t LcdBackground = 0xA4B29A;
inline constexpr std::uint32_t LcdInk = 0x1F2A26;

}  // namespace zoetra::calc
