#include "GifReading.h"

#include <QImageReader>

namespace playertest {

GifContents readGif(const QString& path)
{
    GifContents gif;
    QImageReader reader(path, "gif");
    gif.loopCount = reader.loopCount();
    for (;;) {
        const QImage image = reader.read();
        if (image.isNull()) {
            break;
        }
        gif.frames.push_back(image.convertToFormat(QImage::Format_RGB32));
        gif.delays.push_back(reader.nextImageDelay());
    }
    return gif;
}

zoetra::calc::Screen screenOf(const QImage& image, int scale, QRgb dark)
{
    zoetra::calc::Screen screen{};
    for (int y = 0; y < zoetra::calc::ScreenHeight; ++y) {
        for (int x = 0; x < zoetra::calc::ScreenWidth; ++x) {
            if (image.pixel(x * scale + scale / 2, y * scale + scale / 2) == dark) {
                screen[static_cast<std::size_t>(y * 12 + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return screen;
}

bool twoColoured(const QImage& image, QRgb light, QRgb dark)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != light && image.pixel(x, y) != dark) {
                return false;
            }
        }
    }
    return true;
}

QRgb lightColour(int scale)
{
    return scale == 1 ? qRgb(255, 255, 255) : (0xFF000000u | zoetra::calc::LcdBackground);
}

QRgb darkColour(int scale)
{
    return scale == 1 ? qRgb(0, 0, 0) : (0xFF000000u | zoetra::calc::LcdInk);
}

}  // namespace playertest
