#include "imaging/Tone.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace zoetra {

namespace {

constexpr int MaxValue3 = 765;

// Past this sum of the jumps of both ends (scaled by three), the frame
// starts a new scene.
constexpr double SceneCut3 = 3 * 64.0;
// The share of the way to the measured levels taken each frame: about a
// second (15 frames) to settle.
constexpr double Glide = 0.12;
// The narrowest span a band is made for: 100 grey levels.
constexpr double MinSpan3 = 3 * 100.0;
// How far a scene's white point moves from white towards the scene's light
// end. The black point stays at black: a tone is seen against its own
// brightness, so a black point raised even a little sinks a scene's shadows
// into solid black, while a white point brought down lifts a dark scene
// and clears the stray dots from the near-white of a bright one.
constexpr double LightReach = 0.75;

struct Band {
    double low;
    double high;
};

Band bandOf(const ExposureLevels& levels)
{
    double high = levels.high;
    if (high - levels.low < MinSpan3) {
        const double middle = std::clamp((levels.low + high) / 2, MinSpan3 / 2, MaxValue3 - MinSpan3 / 2);
        high = std::max(high, middle + MinSpan3 / 2);
    }
    return {0.0, MaxValue3 - LightReach * (MaxValue3 - high)};
}

}  // namespace

GammaTable gammaTable(double gamma)
{
    // One table is kept: a run and the preview use one gamma at a time.
    static std::mutex mutex;
    static double cachedGamma = 1.0;
    static GammaTable cached = [] {
        GammaTable t{};
        for (int v = 0; v <= MaxValue3; ++v) {
            t[static_cast<std::size_t>(v)] = static_cast<std::int16_t>(v);
        }
        return t;
    }();
    const std::lock_guard lock(mutex);
    if (gamma != cachedGamma) {
        for (int v = 0; v <= MaxValue3; ++v) {
            const double curved = MaxValue3 * std::pow(v / double(MaxValue3), 1.0 / gamma);
            cached[static_cast<std::size_t>(v)] = static_cast<std::int16_t>(std::lround(curved));
        }
        cachedGamma = gamma;
    }
    return cached;
}

void applyGamma(GreyGrid& grey, double gamma)
{
    if (gamma == 1.0) {
        return;
    }
    const GammaTable table = gammaTable(gamma);
    for (std::int16_t& v : grey) {
        if (v >= 0) {
            v = table[static_cast<std::size_t>(std::min<int>(v, MaxValue3))];
        }
    }
}

ExposureLevels measureExposure(const GreyGrid& grey)
{
    std::array<int, MaxValue3 + 1> histogram{};
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const int v = std::clamp<int>(grey[gridIndex(x, y)], 0, MaxValue3);
            ++histogram[static_cast<std::size_t>(v)];
        }
    }
    constexpr int Pixels = ScreenWidth * ScreenHeight;
    constexpr int LowCount = Pixels * 2 / 100;
    constexpr int HighCount = Pixels * 98 / 100;
    ExposureLevels levels;
    int seen = 0;
    bool lowFound = false;
    for (int v = 0; v <= MaxValue3; ++v) {
        seen += histogram[static_cast<std::size_t>(v)];
        if (!lowFound && seen > LowCount) {
            levels.low = v;
            lowFound = true;
        }
        if (seen > HighCount) {
            levels.high = v;
            break;
        }
    }
    return levels;
}

ExposureLevels ExposureTracker::next(const ExposureLevels& measured)
{
    const double jump = std::abs(measured.low - current_.low) + std::abs(measured.high - current_.high);
    if (!started_ || jump > SceneCut3) {
        current_ = measured;
        started_ = true;
    } else {
        current_.low = std::min(measured.low, current_.low + Glide * (measured.low - current_.low));
        current_.high = std::max(measured.high, current_.high + Glide * (measured.high - current_.high));
    }
    return current_;
}

Thresholds3 sceneBand(const ExposureLevels& levels)
{
    const Band band = bandOf(levels);
    return {static_cast<int>(std::floor(band.low)), static_cast<int>(std::ceil(band.high))};
}

Thresholds3 exposedThresholds(int black3, int white3, const ExposureLevels& levels)
{
    const Band band = bandOf(levels);
    const double scale = (band.high - band.low) / MaxValue3;
    return {static_cast<int>(std::lround(band.low + black3 * scale)),
            static_cast<int>(std::lround(band.low + white3 * scale))};
}

}  // namespace zoetra
