#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zoetra {

// The calculator's screen: 96 x 64 pixels, black and white, eight pixels to
// a byte. The one place its geometry is defined.
inline constexpr int ScreenWidth = 96;
inline constexpr int ScreenHeight = 64;
inline constexpr int BytesPerRow = ScreenWidth / 8;
inline constexpr std::size_t ScreenByteCount = static_cast<std::size_t>(BytesPerRow * ScreenHeight);

// One calculator screen in plotSScreen's layout: ScreenHeight rows of
// BytesPerRow bytes, the leftmost pixel of each byte in bit 7, a set bit
// black. It is what the conversion hands to every stream format, what a
// decoder returns and what the emulated calculator shows.
using Screen = std::array<std::uint8_t, ScreenByteCount>;

}  // namespace zoetra
