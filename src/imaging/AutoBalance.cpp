#include "imaging/AutoBalance.h"

#include "imaging/Conversion.h"
#include "imaging/Tone.h"
#include "platform/PictureArea.h"
#include "shared/Types.h"
#include "shared/Vars.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace zoetra {

AutoBalanceProposal computeAutoBalance(const PictureArea& picture)
{
    long long sumRed = 0;
    long long sumGreen = 0;
    long long sumBlue = 0;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const Channels ch = splitColour(picture.pixel(x, y));
            sumRed += ch.red;
            sumGreen += ch.green;
            sumBlue += ch.blue;
        }
    }
    constexpr double pixels = ScreenWidth * ScreenHeight;
    const double b = (2.0 * static_cast<double>(sumBlue)) / pixels;
    const double g = (2.0 * static_cast<double>(sumGreen)) / pixels;
    const double r = (2.0 * static_cast<double>(sumRed)) / pixels;
    const double total = (b + g) + r;

    // Ties go to the even integer: nearbyint in the default rounding mode.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const auto black = static_cast<int>(std::nearbyint((total / 3.0) / 3.0));
    const auto white = static_cast<int>(std::nearbyint((total / 3.0) / 2.0));
    std::fesetround(previous);
    return {black, white};
}

AutoBalanceProposal proposeAutoBalance(const Vars& vars, const PictureArea& picture)
{
    if (vars.Pictures.pattern == Pattern::Checkerboard) {
        return computeAutoBalance(picture);
    }
    GreyGrid grey;
    readGreyGrid(vars, picture, grey);
    const Thresholds3 band = sceneBand(measureExposure(grey));
    // On the sliders' scale, widened to whole levels: a value below the
    // black threshold is black, one above the white threshold white.
    const int black = std::clamp(band.black3 / 3, 0, 255);
    const int white = std::clamp((band.white3 + 2) / 3, 0, 255);
    return {black, white};
}

}  // namespace zoetra
