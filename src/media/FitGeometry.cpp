#include "media/FitGeometry.h"

#include <algorithm>
#include <cmath>

namespace zoetra::media {

namespace {

int roundedAtLeastOne(double value, int most)
{
    return std::clamp(static_cast<int>(std::lround(value)), 1, most);
}

}  // namespace

FitGeometry computeFit(int width, int height, double pixelAspect, FitMode fit)
{
    const double aspect = pixelAspect > 0.0 ? pixelAspect : 1.0;
    const double shown = width * aspect / height;  // the shape as displayed
    constexpr double screen = static_cast<double>(ScreenWidth) / ScreenHeight;

    FitGeometry g{QRect(0, 0, width, height), QRect(0, 0, ScreenWidth, ScreenHeight)};
    switch (fit) {
    case FitMode::Stretch:
        break;
    case FitMode::Fit:
        if (shown > screen) {
            const int h = roundedAtLeastOne(ScreenWidth / shown, ScreenHeight);
            g.target = QRect(0, (ScreenHeight - h) / 2, ScreenWidth, h);
        } else {
            const int w = roundedAtLeastOne(ScreenHeight * shown, ScreenWidth);
            g.target = QRect((ScreenWidth - w) / 2, 0, w, ScreenHeight);
        }
        break;
    case FitMode::Fill:
        if (shown > screen) {
            const int w = roundedAtLeastOne(height * screen / aspect, width);
            g.source = QRect((width - w) / 2, 0, w, height);
        } else {
            const int h = roundedAtLeastOne(width * aspect / screen, height);
            g.source = QRect(0, (height - h) / 2, width, h);
        }
        break;
    }
    return g;
}

}  // namespace zoetra::media
