#include "support/Clips.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>

namespace zoetra::test {

namespace {

constexpr int Width = 96;
constexpr int Height = 64;

QRgb grey(double value)
{
    const int v = std::clamp(static_cast<int>(std::lround(value)), 0, 255);
    return qRgb(v, v, v);
}

QImage draw(const std::function<double(int, int)>& valueAt)
{
    QImage image(Width, Height, QImage::Format_RGB32);
    for (int y = 0; y < Height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < Width; ++x) {
            line[x] = grey(valueAt(x, y));
        }
    }
    return image;
}

// Bounces a coordinate between 0 and span.
double bounce(double position, double span)
{
    const double period = 2.0 * span;
    double p = std::fmod(position, period);
    if (p < 0) {
        p += period;
    }
    return p <= span ? p : period - p;
}

QImage movingShapes(int t)
{
    const double discX = 12.0 + bounce(1.7 * t, 72.0);
    const double discY = 32.0 + 14.0 * std::sin(t / 6.0);
    const double boxX = bounce(60.0 - 1.3 * t, 74.0);
    const double boxY = bounce(6.0 + 0.9 * t, 52.0);
    const double squareY = bounce(2.0 * t, 58.0);
    return draw([&](int x, int y) {
        const double dx = x - discX;
        const double dy = y - discY;
        if (dx * dx + dy * dy <= 121.0) {
            return 0.0;
        }
        if (x >= boxX && x < boxX + 22 && y >= boxY && y < boxY + 12) {
            return 128.0;  // dithered
        }
        if (x >= 84 && x < 90 && y >= squareY && y < squareY + 6) {
            return 0.0;
        }
        return 240.0;
    });
}

// A landscape twice as wide as the screen and half as high again.
double landscape(double x, double y)
{
    const double ridge = 48.0 + 16.0 * std::sin(x / 23.0) + 8.0 * std::sin(x / 7.3 + 1.0);
    if (y < ridge) {
        const double cloud = std::sin(x / 9.0) * std::sin(y / 5.0 + x / 31.0);
        if (cloud > 0.55) {
            return 250.0;
        }
        return 100.0 + y;  // dithered sky
    }
    const double tree = std::fmod(x, 29.0);
    if (tree < 6.0 && y < ridge + 26.0 - std::abs(tree - 3.0) * 5.0) {
        return 20.0;
    }
    const double furrow = std::sin(x / 4.0 + y / 2.5) + std::sin(y / 3.0);
    return furrow > 0.4 ? 40.0 : furrow > -0.6 ? 120.0 : 220.0;
}

QImage pan(int t)
{
    const double originX = 2.0 * t;
    const double originY = 0.75 * t;
    return draw([&](int x, int y) { return landscape(originX + x, std::floor(originY) + y); });
}

QImage zoom(int t)
{
    const std::complex<double> centre(-0.743643887, 0.131825904);
    const double step = 3.0 / Width * std::pow(0.92, t);
    return draw([&](int x, int y) {
        const std::complex<double> c = centre + std::complex<double>((x - Width / 2) * step, (y - Height / 2) * step);
        std::complex<double> z;
        for (int i = 0; i < 160; ++i) {
            z = z * z + c;
            if (std::norm(z) > 4.0) {
                return (i % 9) * 32.0;  // bands: black, dithered, white
            }
        }
        return 0.0;
    });
}

QImage sceneCuts(int t)
{
    const int scene = (t / 8) % 6;
    const int d = t % 8;  // each scene drifts a little
    switch (scene) {
    case 0:
        return draw([&](int x, int y) {
            const double r = std::hypot(x - 40.0 - d, y - 30.0);
            return std::fmod(r, 10.0) < 5.0 ? 0.0 : 255.0;
        });
    case 1:
        return draw([&](int x, int) { return ((x + d) / 5) % 2 == 0 ? 30.0 : 220.0; });
    case 2:
        return draw([&](int x, int y) {
            const int cell = ((x + d) / 8 + y / 8) % 3;
            return cell == 0 ? 0.0 : cell == 1 ? 128.0 : 255.0;
        });
    case 3: {
        std::mt19937 random(77);
        std::vector<double> blocks(12 * 8);
        for (auto& b : blocks) {
            b = static_cast<double>(random() % 3) * 127.5;
        }
        return draw([&](int x, int y) {
            return blocks[static_cast<std::size_t>(((y + d) / 8 % 8) * 12 + x / 8)];
        });
    }
    case 4:
        return draw([&](int x, int y) {
            const double dx = x - 48.0 + d;
            const double dy = y - 32.0;
            return dx * dx + dy * dy < 26.0 * 26.0 ? 10.0 : 128.0;
        });
    default:
        return draw([&](int x, int y) { return ((x + y + 2 * d) / 3) % 2 == 0 ? 0.0 : 255.0; });
    }
}

QImage ditheredGradient(int t)
{
    static constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const double angle = t * 0.06;
    const double cx = std::cos(angle);
    const double cy = std::sin(angle);
    return draw([&](int x, int y) {
        const double along = ((x - 48.0) * cx + (y - 32.0) * cy) / 115.0 + 0.5;  // 0..1 over the screen
        const double level = std::clamp(along, 0.0, 1.0) * 16.0;
        return level > bayer[y % 4][x % 4] + 0.5 ? 255.0 : 0.0;
    });
}

QImage noise(int t)
{
    std::mt19937 random(static_cast<std::uint32_t>(1000 + t));
    return draw([&](int, int) { return (random() & 1) != 0 ? 255.0 : 0.0; });
}

}  // namespace

QString clipName(ClipKind kind)
{
    switch (kind) {
    case ClipKind::MovingShapes:
        return QStringLiteral("moving shapes");
    case ClipKind::Pan:
        return QStringLiteral("pan");
    case ClipKind::Zoom:
        return QStringLiteral("zoom");
    case ClipKind::SceneCuts:
        return QStringLiteral("scene cuts");
    case ClipKind::DitheredGradient:
        return QStringLiteral("dithered gradient");
    case ClipKind::Noise:
        return QStringLiteral("noise");
    }
    return {};
}

std::vector<QImage> clipFrames(ClipKind kind, int count)
{
    std::vector<QImage> frames;
    frames.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int t = 0; t < count; ++t) {
        switch (kind) {
        case ClipKind::MovingShapes:
            frames.push_back(movingShapes(t));
            break;
        case ClipKind::Pan:
            frames.push_back(pan(t));
            break;
        case ClipKind::Zoom:
            frames.push_back(zoom(t));
            break;
        case ClipKind::SceneCuts:
            frames.push_back(sceneCuts(t));
            break;
        case ClipKind::DitheredGradient:
            frames.push_back(ditheredGradient(t));
            break;
        case ClipKind::Noise:
            frames.push_back(noise(t));
            break;
        }
    }
    return frames;
}

bool writeClip(const std::vector<QImage>& frames, const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        return false;
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const QString name = QStringLiteral("frame%1.bmp").arg(i, 3, 10, QLatin1Char('0'));
        if (!frames[i].save(QDir(folder).filePath(name), "BMP")) {
            return false;
        }
    }
    return true;
}

}  // namespace zoetra::test
