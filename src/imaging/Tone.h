#pragma once

#include "imaging/Grids.h"

#include <array>

namespace zoetra {

// Channel values scaled by three (0..765, as the reduction compares them)
// through the gamma curve 255 * (v / 255)^(1 / gamma), rounded.
using GammaTable = std::array<std::int16_t, 766>;
GammaTable gammaTable(double gamma);

// Applies the curve to every readable value of the grid; the unreadable
// (negative) values stay as they are.
void applyGamma(GreyGrid& grey, double gamma);

// The dark and the light end of a frame's tones, in values scaled by three:
// the 2nd and the 98th percentile over the 96 x 64 calculator frame.
struct ExposureLevels {
    double low = 0.0;
    double high = 765.0;
};
ExposureLevels measureExposure(const GreyGrid& grey);

// Follows the measured levels from frame to frame: a scene cut (a large
// jump) is taken at once. Within a scene the levels never hold less than the
// frame's own tones: where the frame reaches darker or lighter, they go
// there at once; where its tones draw together, they follow over about a
// second, so a scene keeps one exposure.
class ExposureTracker {
public:
    ExposureLevels next(const ExposureLevels& measured);
    void reset() { started_ = false; }

private:
    bool started_ = false;
    ExposureLevels current_;
};

// The band, in values scaled by three, that holds a scene whose tones span
// `levels`: its black point at black, its white point at or above the
// scene's light end. It leans towards the light end only part of the way,
// so a dark scene is lifted without being drawn as a light one; a narrow
// span is widened around its middle first, so a flat frame is not
// stretched into noise.
struct Thresholds3 {
    int black3;
    int white3;
};
Thresholds3 sceneBand(const ExposureLevels& levels);

// The thresholds (scaled by three) moved for a frame whose tones span
// `levels`: the user's thresholds keep their place within the scene's band
// as they would within 0..255. The full range 0..255 gives the scene's band
// itself, which holds every tone of the scene.
Thresholds3 exposedThresholds(int black3, int white3, const ExposureLevels& levels);

}  // namespace zoetra
