#pragma once

#include "convert/ScreenMaker.h"
#include "convert/WhatFits.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace zoetra {

// What makes a whole video fit, when the choices made do not hold it: the
// smallest set of changes to them, searched in the order of preference
// (the stream format, storing in the archive, then a lower rate for a
// video), and when no set holds the whole, the set that holds the most with
// the end that keeps it. The model and a free archive given are never
// changed. Each choice the search may change is one axis of FitChoice; a
// new kind of choice joins as another.

// The rates a video may be taken at instead, highest first.
inline constexpr std::array<double, 5> LowerRates{20.0, WrittenFramesPerSecond, 10.0, 7.5, 5.0};

struct FitQuestion {
    VideoTarget target;  // the choices made
    // The free archive a choice of the archive would have (the calculator's,
    // when given); the target's own when it is in the archive already.
    std::optional<std::int64_t> freeArchiveBytes;
    // Where the frames were taken from a video, when they were: a lower rate
    // takes fewer frames of it, and an end keeps the first ones.
    std::optional<VideoSpan> video;
    // The shown screens of that video taken at another rate (from its start
    // to its end, under the same settings); nothing when it cannot be read
    // or the search was cancelled.
    std::function<std::optional<ShownScreens>(double framesPerSecond)> screensAt;
};

// A set of changes to the choices made, and what fits with them.
struct FitProposal {
    VideoTarget target;  // the choices with the changes made
    bool formatChanged = false;
    bool archiveChanged = false;
    bool rateChanged = false;  // taken and played at target.framesPerSecond
    // Where the video ends, when no set of changes holds the whole.
    std::optional<double> end;
    WhatFits fits;  // of the frames at the proposal's rate

    bool whole() const { return !end && fits.all(); }
    int changes() const { return int{formatChanged} + int{archiveChanged} + int{rateChanged}; }
};

struct FitAdvice {
    WhatFits chosen;  // what the choices made hold
    // The changes that hold the whole video, else those that hold the most
    // (with the end that keeps it, for a video); none when all fits as
    // chosen, or when nothing holds more and there is no end to move.
    std::optional<FitProposal> proposal;
    // Another model whose empty archive holds the whole video, and in which
    // format, when no change of the choices does: told, never chosen.
    std::optional<VideoTarget> elsewhere;
};

// Counts the screens under the choices made and, when not all fit, searches
// for the changes. Stops early, with what it has, when `cancel` is set.
FitAdvice adviseFit(const FitQuestion& question, const ShownScreens& screens,
                    const std::atomic<bool>* cancel = nullptr);

// Byte counts and frame counts with their thousands marked: "161,454".
QString groupedNumber(std::int64_t value);
// A time as m:ss.s, for ends: "2:10.3".
QString minutesAndSeconds(double seconds);

// The advice as words for the window: "The whole video fits in the archive
// as dense video: all 3,227 frames, 161,454 of 163,519 bytes." The
// proposal's line, then the other model's; empty when there is nothing to
// advise. `programName` is the name the run would use: the archive takes at
// most six characters.
QStringList adviceWords(const FitAdvice& advice, const QString& programName);

// What the choices made hold, in a line for a display beside them: "All 48
// frames fit, 9,120 of 24,000 bytes." or "86 of the 3,227 frames fit: 5.8
// of 218.8 seconds."
QString fitSummary(const WhatFits& fits);

// The first line of adviceWords without the way to make the choices, for a
// display beside the choices: "Whole: in the archive as dense video,
// 161,454 of 163,519 bytes."
QString adviceSummary(const FitAdvice& advice);

// The other model's line: "A TI-84 Plus would hold it all in its archive as
// dense video."; empty without one.
QString elsewhereText(const FitAdvice& advice);

}  // namespace zoetra
