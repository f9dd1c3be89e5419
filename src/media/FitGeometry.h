#pragma once

#include "media/MediaTypes.h"

#include <QRect>

namespace zoetra::media {

// Where a source picture goes on the 96 x 64 screen: the part of the source
// that is used and the rectangle of the screen it is scaled into.
struct FitGeometry {
    QRect source;  // in source pixels
    QRect target;  // in screen pixels; the rest of the screen is white
};

// The geometry for a width x height picture whose pixels are pixelAspect
// times as wide as high.
FitGeometry computeFit(int width, int height, double pixelAspect, FitMode fit);

}  // namespace zoetra::media
