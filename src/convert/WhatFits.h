#pragma once

#include "convert/ScreenMaker.h"
#include "shared/VideoTarget.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

namespace zoetra {

struct Vars;
class PictureLoader;

// The encoder's choices that the window's "Create Video" page makes.
struct EncoderChoice {
    int detailSliderValue = 0;  // the quality, -10..0
    VideoTarget target;         // the stream format, the pace and the limit
};

// How much of a frame list the video data can hold.
struct WhatFits {
    int frames = 0;   // frames in the list
    int fitting = 0;  // how many of them, from the first, stay within the limit
    int bytes = 0;    // video data of those, without the end marker
    VideoTarget target;    // what they were counted for
    int limit = 0;         // the target's limit in bytes

    bool all() const { return fitting == frames; }
    // How long they play on the calculator.
    double seconds() const;
};

// How many of the shown screens, from the first, the target holds: they are
// coded in its stream format as the run codes them, stopping at the first
// that passes its limit.
WhatFits fitScreens(const ShownScreens& screens, const VideoTarget& target, const std::atomic<bool>* cancel = nullptr);

// Encodes the frames as a conversion run started now would: each file
// loaded and reduced under the colour settings of `settings`, packed, and
// encoded under the encoder's choice (quality, target) with a
// random sequence of its own (shownScreens, then fitScreens). Writes
// nothing, builds nothing, and leaves `settings` alone; with a fresh
// program's random sequence it matches that program's first run.
WhatFits estimateWhatFits(const Vars& settings, const EncoderChoice& encoder, PictureLoader& loader,
                          const QString& folder, const QStringList& frames,
                          const std::atomic<bool>* cancel = nullptr);

// "The 24000 bytes hold 120 of the 300 frames: 8.1 seconds on the calculator."
QString whatFitsText(const WhatFits& fits);

// Where an imported video was taken from, for the end that fits.
struct VideoSpan {
    double start = 0.0;  // seconds into the clip
    double framesPerSecond = WrittenFramesPerSecond;
};

// The end, in seconds, at which the import takes the first `fitting` frames
// and no more, rounded down to a tenth.
double endThatFits(const VideoSpan& span, int fitting);

}  // namespace zoetra
