#pragma once

#include "calc/Recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zoetra::media {

// Writes a recording as an animated GIF through FFmpeg's GIF encoder: every
// frame of one pass with the calculator's frame times (to the GIF's 1/100 s,
// without drift), looping when the program loops, otherwise played once and
// ending on the last frame as the calculator keeps it. Scale 1 gives the
// exact 96x64 pixels in black and white; a larger scale enlarges every pixel
// to a square of that size in the LCD's colours. Empty on success, else why
// not (a partly written file is removed). A GIF that grows past `sizeLimit`
// bytes is stopped and removed.
inline constexpr std::int64_t GifSizeLimit = 200LL * 1024 * 1024;
std::string writePlaybackGif(const std::string& path, const calc::Recording& recording, int scale,
                             std::int64_t sizeLimit = GifSizeLimit);

inline constexpr int DefaultGifScale = 3;
inline constexpr int MaximumGifScale = 10;

// Where frame i starts in the GIF, in 1/100 s from the first frame; entry
// frames.size() is the end of the last one.
std::vector<std::int64_t> gifTimeline(const calc::Recording& recording);

}  // namespace zoetra::media
