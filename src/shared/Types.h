#pragma once

#include "shared/Screen.h"

#include <cstdint>

namespace zoetra {

// A pixel colour: red + 256 * green + 65536 * blue (red in the low byte).
using Colour = std::int32_t;

inline constexpr Colour UnreadableColour = -1;
inline constexpr Colour ColourBlack = 0;
inline constexpr Colour ColourWhite = 0xFFFFFF;

// Background of the picture areas where a frame does not cover them: the
// light grey face colour of controls, the same in every implementation.
inline constexpr Colour PictureBackground = 240 + 256 * 240 + 65536 * 240;

// Drawing surface of the two picture areas.
inline constexpr int PictureWidth = 96;
inline constexpr int PictureHeight = 65;

// The monochrome grid: one column and one row more than the calculator frame.
inline constexpr int GridColumns = 97;
inline constexpr int GridRows = 65;

// The calculator frame (shared/Screen.h), its byte count as an int.
inline constexpr int FrameByteCount = static_cast<int>(ScreenByteCount);

// The video stream.
inline constexpr int VideoBufferSize = 120001;

constexpr Colour makeColour(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

}  // namespace zoetra
