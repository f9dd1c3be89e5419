#include "platform/ImagePictureArea.h"

#include <algorithm>

namespace zoetra {

ImagePictureArea::ImagePictureArea()
{
    fill(PictureBackground);
}

void ImagePictureArea::fill(Colour colour)
{
    pixels_.fill(static_cast<std::uint32_t>(colour) & 0xFFFFFFu);
}

void ImagePictureArea::setPicture(const QImage& image)
{
    fill(PictureBackground);
    if (image.isNull()) {
        return;
    }
    // Transparent pixels (a GIF's transparent colour, a PNG's alpha) show
    // the background through them, as it shows where the frame ends.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int width = std::min(argb.width(), PictureWidth);
    const int height = std::min(argb.height(), PictureHeight);
    const auto over = [](int value, int alpha, int background) {
        return (value * alpha + background * (255 - alpha) + 127) / 255;
    };
    const int backRed = PictureBackground & 0xFF;
    const int backGreen = (PictureBackground >> 8) & 0xFF;
    const int backBlue = (PictureBackground >> 16) & 0xFF;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            const int alpha = qAlpha(p);
            setPixel(x, y, makeColour(over(qRed(p), alpha, backRed), over(qGreen(p), alpha, backGreen),
                                      over(qBlue(p), alpha, backBlue)));
        }
    }
}

QImage ImagePictureArea::toImage() const
{
    QImage image(PictureWidth, PictureHeight, QImage::Format_RGB32);
    for (int y = 0; y < PictureHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < PictureWidth; ++x) {
            const auto c = static_cast<std::uint32_t>(pixel(x, y));
            line[x] = qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                           static_cast<int>((c >> 16) & 0xFF));
        }
    }
    return image;
}

}  // namespace zoetra
