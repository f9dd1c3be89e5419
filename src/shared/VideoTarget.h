#pragma once

#include "shared/CalculatorModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zoetra {

// Where the video data lives on the calculator.
enum class Storage : std::uint8_t { Ram, Archive };

// The stream formats; each is one codec (convert/Codec.h).
enum class StreamFormat : std::uint8_t { Written, Compact };

// The written pace: a frame every eight ticks of the TI-83 Plus's 118 Hz
// timer, about 14.75 frames a second.
inline constexpr int WrittenTicksPerFrame = 8;
inline constexpr double WrittenFramesPerSecond =
    modelFacts(CalculatorModel::Ti83Plus).timerHz / WrittenTicksPerFrame;

// What a conversion makes: chosen once per run, from the window's controls
// or the headless options, and handed to everything that depends on it.
struct VideoTarget {
    CalculatorModel model = CalculatorModel::Ti83Plus;
    // The rate the video plays at.
    double framesPerSecond = WrittenFramesPerSecond;
    Storage storage = Storage::Ram;
    StreamFormat format = StreamFormat::Written;

    const ModelFacts& facts() const { return modelFacts(model); }
    bool operator==(const VideoTarget&) const = default;
};

// The stream bytes a video kept in RAM may take beside the player, on every
// model.
inline constexpr int RamVideoLimit = 24000;

inline int videoSizeLimit(const VideoTarget& target)
{
    (void)target;
    return RamVideoLimit;
}

// Timer ticks from one frame to the next at the target's rate; at least
// two, as the screen copy alone takes about one.
inline int ticksPerFrame(const VideoTarget& target)
{
    return std::max(2, static_cast<int>(std::lround(target.facts().timerHz / target.framesPerSecond)));
}

// The rate the player keeps on the target's model.
inline double playedFramesPerSecond(const VideoTarget& target)
{
    return target.facts().timerHz / ticksPerFrame(target);
}

}  // namespace zoetra
