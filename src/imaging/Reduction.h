#pragma once

#include "imaging/Grids.h"
#include "imaging/Tone.h"
#include "shared/PictureSettings.h"

namespace zoetra {

// What a conversion run carries from one frame to the next, so that a
// still picture gives still pixels and the exposure glides.
class FrameHistory {
public:
    // Forgets every frame: the next one is reduced as the first of a run.
    void reset();

    bool hasFrame = false;
    BitGrid bits{};  // the last frame's pixels
    // Each pixel's value when its colour was last decided afresh; a pixel
    // whose value stays near it keeps its colour.
    GreyGrid decidedAt{};
    ExposureTracker exposure;
};

// The reduction of one grid whose tone is final: below black3 black, above
// white3 white, between them rendered by the pattern with the two as its
// black and white point (when dither is on; else white). With a history,
// the pixels lean towards the last frame's and the history is updated.
struct ReductionParameters {
    Pattern pattern = Pattern::Checkerboard;
    bool dither = true;
    int black3 = 255;
    int white3 = 510;
};
void reduceGrid(const GreyGrid& grey, const ReductionParameters& parameters, FrameHistory* history,
                BitGrid& bits);

// How far (in grey levels) a value must pass a threshold map's threshold
// before a pixel changes its colour from the last frame.
inline constexpr int OrderedHysteresis = 6;

}  // namespace zoetra
