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
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int width = std::min(rgb.width(), PictureWidth);
    const int height = std::min(rgb.height(), PictureHeight);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            setPixel(x, y, makeColour(qRed(p), qGreen(p), qBlue(p)));
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
