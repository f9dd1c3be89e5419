#pragma once

#include "calc/Screen.h"

#include <QImage>
#include <QString>

#include <vector>

namespace playertest {

// An animated GIF as Qt reads it.
struct GifContents {
    std::vector<QImage> frames;  // RGB32
    std::vector<int> delays;     // milliseconds, frame by frame
    int loopCount = 0;           // -1 forever, 0 played once
};

GifContents readGif(const QString& path);

// The calculator's pixels a GIF frame shows at a scale: a pixel is dark when
// its square is.
zoetra::calc::Screen screenOf(const QImage& image, int scale, QRgb dark);

// Every pixel of the image has one of the two colours.
bool twoColoured(const QImage& image, QRgb light, QRgb dark);

// The colours of a preview at a scale: black and white at 1, the LCD's
// otherwise.
QRgb lightColour(int scale);
QRgb darkColour(int scale);

}  // namespace playertest
