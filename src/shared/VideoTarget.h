#pragma once

#include "shared/CalculatorModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace zoetra {

// Where the video data lives on the calculator.
enum class Storage : std::uint8_t { Ram, Archive };

// The stream formats; each is one codec (codec/Codec.h).
enum class StreamFormat : std::uint8_t { Written, Compact, Dense };

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
    // The archive the user's calculator shows free, when given; else the
    // model's archive when empty.
    std::optional<std::int64_t> freeArchiveBytes;

    const ModelFacts& facts() const { return modelFacts(model); }
    bool operator==(const VideoTarget&) const = default;
};

// The stream bytes a video kept in RAM may take beside the player, on every
// model.
inline constexpr int RamVideoLimit = 24000;

// The rates a video may play at: from a frame every two seconds to 30 a
// second.
inline constexpr double MinFramesPerSecond = 0.5;
inline constexpr double MaxFramesPerSecond = 30.0;

// Whether the player keeps deadlines in counted timer ticks on the model it
// finds itself on, rather than the written pace of halts (eight ticks of
// the TI-83 Plus's timer, which run faster on the other models): a video
// in the archive, one at a rate of its own, or one made for another model.
inline bool pacedByDeadlines(const VideoTarget& target)
{
    return target.storage == Storage::Archive || target.model != CalculatorModel::Ti83Plus ||
           target.format == StreamFormat::Dense || std::abs(target.framesPerSecond - WrittenFramesPerSecond) > 1e-9;
}

// Timer ticks from frame to frame on a timer of `timerHz`, in 8.8 fixed
// point (whole ticks in the high byte): what the deadline pace adds up.
inline int frameTicksFixed(double timerHz, double framesPerSecond)
{
    return std::clamp(static_cast<int>(std::lround(timerHz / framesPerSecond * 256.0)), 2 * 256, 0xFFFF);
}

// The same with the fraction in 16 bits, for the dense player, whose
// looping rounds keep the pace over many of them: whole ticks (at least
// two) and the fraction in 1/65536 of a tick, rounded up, so that frames
// whose ticks add up to a whole number (a round of 30 frames at 20 a
// second on 118 ticks a second: 177) are shown at that tick, not at the
// one before.
struct FineTicks {
    int whole;
    int fraction;
};
inline FineTicks frameTicksFine(double timerHz, double framesPerSecond)
{
    const auto fixed = static_cast<std::int64_t>(std::ceil(timerHz / framesPerSecond * 65536.0 - 1e-6));
    const std::int64_t clamped = std::max<std::int64_t>(fixed, 2 * 65536);
    return {static_cast<int>(clamped >> 16), static_cast<int>(clamped & 0xFFFF)};
}

// Timer ticks from one frame to the next at the target's rate; at least
// two, as the screen copy alone takes about one.
inline int ticksPerFrame(const VideoTarget& target)
{
    return std::max(2, static_cast<int>(std::lround(target.facts().timerHz / target.framesPerSecond)));
}

// The rate the player keeps on the target's model: its own with deadlines,
// else the written pace.
inline double playedFramesPerSecond(const VideoTarget& target)
{
    if (pacedByDeadlines(target)) {
        return target.framesPerSecond;
    }
    return target.facts().timerHz / ticksPerFrame(target);
}

}  // namespace zoetra
