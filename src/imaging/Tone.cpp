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
// The narrowest span stretched to the full range: 100 grey levels.
constexpr double MinSpan3 = 3 * 100.0;

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
        current_.low += Glide * (measured.low - current_.low);
        current_.high += Glide * (measured.high - current_.high);
    }
    return current_;
}

Thresholds3 exposedThresholds(int black3, int white3, const ExposureLevels& levels)
{
    double low = levels.low;
    double high = levels.high;
    if (high - low < MinSpan3) {
        const double middle = std::clamp((low + high) / 2, MinSpan3 / 2, MaxValue3 - MinSpan3 / 2);
        low = middle - MinSpan3 / 2;
        high = middle + MinSpan3 / 2;
    }
    const double scale = (high - low) / MaxValue3;
    return {static_cast<int>(std::lround(low + black3 * scale)), static_cast<int>(std::lround(low + white3 * scale))};
}

}  // namespace zoetra
