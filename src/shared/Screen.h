#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zoetra {

// One calculator screen in plotSScreen's layout: 64 rows of 12 bytes, the
// leftmost pixel of each byte in bit 7, a set bit black. It is what the
// conversion hands to every stream format, what a decoder returns and what
// the emulated calculator shows.
inline constexpr std::size_t ScreenByteCount = 768;
using Screen = std::array<std::uint8_t, ScreenByteCount>;

}  // namespace zoetra
