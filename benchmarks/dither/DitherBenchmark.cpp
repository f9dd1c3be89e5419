// The reduction's patterns side by side, on clips made when it runs.
//
// For each pattern and thresholds, over each clip set (the mean of its clips):
// - quality: SSIM between the grey frame (the mean of red, green and blue)
//   and the one-bit frame (0 and 255), both blurred by a Gaussian of sigma 1
//   (the eye on the calculator's screen) and of sigma 0.7 (seen sharply).
//   SSIM window: Gaussian, sigma 1.5, 11 x 11, edges repeated, constants
//   (0.01 * 255)^2 and (0.03 * 255)^2, the mean over the 96 x 64 frame;
// - bytes a second at 14.75 frames a second: the written stream (three bytes
//   for each changed byte and one frame end) and the compact stream;
// - the share of pixels that flip from one frame to the next;
// - the same on a still scene with noise of sigma 2 grey levels in every
//   frame (a camera on a tripod);
// - speed: frames a second from a 96 x 64 colour frame in memory to the
//   packed screen, as a run reduces them (with its history), in processor
//   time of this process (the machine may be shared), on the drawn set.
//
// Clip sets (60 frames each):
// - "drawn": ffmpeg's testsrc2, mandelbrot and gradients sources; drawn in
//   code: drifting cloud-like noise, a landscape panned, a figure walking
//   over a textured wall;
// - "film-like": photograph-like scenes made in code as a camera sees them
//   (each pixel the mean of 3 x 3 samples, grain in every frame): a valley
//   under a slow pan and zoom, a street at night (dark), a snowy slope
//   (bright), and a fade from the valley to black and into the snow;
// - "video": with --video FILE, that file's frames (12 s from its start
//   unless told otherwise), imported as the converter imports a video with
//   --fit fill. Nothing of it is kept.
//
// Modes: each pattern at the written 85-170 and at its own default 0-255;
// "auto": the thresholds "Auto" proposes on a clip's first frame, as
// --auto does; "auto exposure": the thresholds moved with each frame.
//
// Targets for the pattern the README recommends for film, at its default
// thresholds: mean SSIM (sigma 1) on the film-like set at least 0.10 above
// the checkerboard's at no more compact bytes a second, and with "auto" or
// "auto exposure" within 0.03 of itself; at most 0.1 % of pixels flipping
// on the still scene. Every pattern but the searches: 20,000 frames a
// second.
//
// --digest prints, instead of the tables, a checksum of each mode's one-bit
// frames over the drawn clips and the still scene: a change meant to make
// the reduction faster must leave it as it is.
//
// Usage: dither_benchmark [--contact-sheet FILE.png] [--no-ffmpeg] [--no-speed]
//        [--speed-only] [--digest] [--per-clip] [--video FILE [--video-start SECONDS]
//        [--video-seconds SECONDS]] [--modes pattern:black:white[:auto][:balance][:gamma],...]
#include "codec/compact/CompactEncoder.h"
#include "imaging/AutoBalance.h"
#include "imaging/Conversion.h"
#include "platform/ImagePictureArea.h"
#include "shared/Vars.h"
#include "shared/VideoTarget.h"
#include "support/FfmpegClips.h"
#ifdef ZOETRA_BENCHMARK_VIDEO
#include "media/FrameStream.h"
#endif

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace zoetra;

namespace {

constexpr int W = ScreenWidth;
constexpr int H = ScreenHeight;
constexpr int ClipFrames = 60;
constexpr double Fps = WrittenFramesPerSecond;

struct Clip {
    std::string name;
    std::vector<QImage> frames;
};

// ---- clips drawn in code ----

double hashNoise(int x, int y, int seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFu) / 65535.0;
}

// Smooth value noise in 0..1, several octaves.
double fractalNoise(double x, double y, int seed, int octaves = 4)
{
    double sum = 0.0;
    double amplitude = 0.5;
    double total = 0.0;
    for (int o = 0; o < octaves; ++o) {
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0;
        const double fy = y - y0;
        const double sx = fx * fx * (3 - 2 * fx);
        const double sy = fy * fy * (3 - 2 * fy);
        const double a = hashNoise(x0, y0, seed + o);
        const double b = hashNoise(x0 + 1, y0, seed + o);
        const double c = hashNoise(x0, y0 + 1, seed + o);
        const double d = hashNoise(x0 + 1, y0 + 1, seed + o);
        sum += amplitude * ((a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy);
        total += amplitude;
        amplitude *= 0.5;
        x *= 2.0;
        y *= 2.0;
    }
    return sum / total;
}

int clampByte(double v)
{
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

QRgb rgb(double r, double g, double b)
{
    return qRgb(clampByte(r), clampByte(g), clampByte(b));
}

QImage drawFrame(const std::function<QRgb(int, int)>& at)
{
    QImage image(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < W; ++x) {
            line[x] = at(x, y);
        }
    }
    return image;
}

// A landscape in natural colours, wider than the screen: sky, sun, clouds,
// hills with forest, a meadow.
QRgb landscape(double x, double y, double light)
{
    const double horizon = 26.0 + 6.0 * std::sin(x / 23.0) + 4.0 * fractalNoise(x / 9.0, 0.5, 7, 3);
    double r;
    double g;
    double b;
    if (y < horizon) {
        const double t = y / 40.0;
        r = 110 + 90 * t;
        g = 160 + 60 * t;
        b = 235 - 10 * t;
        const double cloud = fractalNoise(x / 14.0, y / 7.0, 3);
        if (cloud > 0.55) {
            const double c = std::min(1.0, (cloud - 0.55) * 4.0);
            r += (250 - r) * c;
            g += (250 - g) * c;
            b += (250 - b) * c;
        }
        const double dx = x - 140.0;
        const double dy = y - 10.0;
        if (dx * dx + dy * dy < 36.0) {
            r = 255;
            g = 240;
            b = 180;
        }
    } else {
        const double forestLine = horizon + 10.0 + 5.0 * std::sin(x / 11.0 + 1.0);
        const double texture = fractalNoise(x / 3.0, y / 3.0, 11);
        if (y < forestLine) {
            const double crown = fractalNoise(x / 2.5, y / 2.0, 5);
            r = 30 + 50 * crown;
            g = 60 + 70 * crown;
            b = 25 + 30 * crown;
        } else {
            const double depth = (y - forestLine) / 30.0;
            r = 90 + 60 * texture + 30 * depth;
            g = 140 + 60 * texture + 20 * depth;
            b = 50 + 30 * texture;
            if (fractalNoise(x / 1.5, y / 1.5, 13, 2) > 0.72) {
                r = 230;
                g = 210;
                b = 80;
            }
        }
    }
    return rgb(r * light, g * light, b * light);
}

Clip pannedLandscape()
{
    Clip clip{"landscape panned", {}};
    for (int f = 0; f < ClipFrames; ++f) {
        const double offset = 1.5 * f;
        clip.frames.push_back(drawFrame([&](int x, int y) { return landscape(x + offset, y, 1.0); }));
    }
    return clip;
}

Clip clouds()
{
    Clip clip{"drifting noise", {}};
    for (int f = 0; f < ClipFrames; ++f) {
        clip.frames.push_back(drawFrame([&](int x, int y) {
            const double v = fractalNoise((x + 0.7 * f) / 12.0, (y + 0.3 * f) / 12.0, 21, 5);
            return rgb(255 * v, 235 * v + 10, 200 * v + 30);
        }));
    }
    return clip;
}

// A figure with head, body, arms and legs walking across a brick wall.
QRgb figureOver(int x, int y, double cx, double phase)
{
    const double dx = x - cx;
    const double headY = 14.0;
    if (dx * dx + (y - headY) * (y - headY) < 30.0) {
        return rgb(225, 180, 150);  // face
    }
    if (std::abs(dx) < 6.0 && y >= 19 && y < 40) {
        return rgb(40, 70, 160);  // coat
    }
    const double swing = 5.0 * std::sin(phase);
    for (const double side : {-1.0, 1.0}) {
        const double t = (y - 40.0) / 22.0;
        if (t >= 0 && t <= 1.0 && std::abs(dx - side * swing * t - side * 2.5) < 2.0) {
            return rgb(50, 45, 40);  // legs
        }
        const double a = (y - 20.0) / 16.0;
        if (a >= 0 && a <= 1.0 && std::abs(dx - side * (7.0 + swing * a * 0.6)) < 1.6) {
            return rgb(225, 180, 150);  // arms
        }
    }
    const int row = y / 6;
    const int brickX = (x + (row % 2) * 6) % 12;
    const bool mortar = y % 6 == 0 || brickX == 0;
    const double grain = fractalNoise(x / 2.0, y / 2.0, 31, 3);
    if (mortar) {
        return rgb(200, 195, 185);
    }
    return rgb(150 + 50 * grain, 75 + 30 * grain, 55 + 20 * grain);
}

Clip walkingFigure()
{
    Clip clip{"figure over a wall", {}};
    for (int f = 0; f < ClipFrames; ++f) {
        const double cx = 10.0 + 1.3 * f;
        clip.frames.push_back(drawFrame([&](int x, int y) { return figureOver(x, y, cx, f / 2.5); }));
    }
    return clip;
}

// The landscape standing still, with fresh noise of sigma 2 grey levels in
// every frame (the same on the three channels, so the grey gets all of it).
Clip stillScene()
{
    Clip clip{"still scene with noise", {}};
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 2.0);
    const QImage base = drawFrame([](int x, int y) { return landscape(x + 20, y, 1.0); });
    for (int f = 0; f < ClipFrames; ++f) {
        QImage frame = base;
        for (int y = 0; y < H; ++y) {
            auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
            for (int x = 0; x < W; ++x) {
                const double n = noise(random);
                line[x] = rgb(qRed(line[x]) + n, qGreen(line[x]) + n, qBlue(line[x]) + n);
            }
        }
        clip.frames.push_back(frame);
    }
    return clip;
}

std::vector<QImage> loadSequence(const QString& folder, const QString& prefix)
{
    std::vector<QImage> frames;
    for (int i = 1; i <= ClipFrames; ++i) {
        QImage image(QDir(folder).filePath(QStringLiteral("%1%2.png").arg(prefix).arg(i, 3, 10, QLatin1Char('0'))));
        if (image.isNull()) {
            break;
        }
        frames.push_back(image.convertToFormat(QImage::Format_RGB32).scaled(W, H));
    }
    return frames;
}

std::vector<Clip> ffmpegClips(const QString& folder)
{
    const std::vector<std::pair<std::string, QString>> sources = {
        {"ffmpeg testsrc2", QStringLiteral("testsrc2=s=96x64:r=14.75")},
        {"ffmpeg mandelbrot", QStringLiteral("mandelbrot=s=96x64:r=14.75")},
        {"ffmpeg gradients", QStringLiteral("gradients=s=96x64:r=14.75:speed=0.03:n=3:c0=0x203050:c1=0xe0c080:c2=0x60a040:"
                                                  "x0=10:y0=5:x1=90:y1=60")},
    };
    std::vector<Clip> clips;
    int n = 0;
    for (const auto& [name, graph] : sources) {
        const QString prefix = QStringLiteral("clip%1_").arg(n++);
        const QString made = test::makeClip(folder, prefix + QStringLiteral("%03d.png"),
                                            test::lavfi(graph) + QStringList{QStringLiteral("-frames:v"),
                                                                             QString::number(ClipFrames)});
        if (made.isEmpty()) {
            continue;
        }
        Clip clip{name, loadSequence(folder, prefix)};
        if (!clip.frames.empty()) {
            clips.push_back(std::move(clip));
        }
    }
    return clips;
}

// ---- film-like clips: photograph-like scenes as a camera sees them ----

struct Light {
    double r;
    double g;
    double b;
};

double smooth(double from, double to, double v)
{
    const double t = std::clamp((v - from) / (to - from), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

Light mix(const Light& a, const Light& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A valley under a clouded sky: hazy far hills, a wood whose crowns catch
// the light, a lake and a meadow, a few trees in front. Scene units: the
// screen at the start of a clip is 96 x 64 of them.
Light valley(double x, double y)
{
    const double cloud = smooth(0.5, 0.78, fractalNoise(x / 16.0, y / 6.0, 41, 5));
    Light light = mix({105, 150, 225}, {190, 210, 235}, std::clamp(y / 30.0, 0.0, 1.0));
    light = mix(light, {240, 240, 245}, cloud);
    const double far = 21.0 + 4.0 * std::sin(x / 17.0) + 5.0 * fractalNoise(x / 10.0, 0.5, 43, 4);
    light = mix(light, {95, 112, 135}, smooth(far - 0.3, far + 0.3, y));
    const double wood = 30.0 + 4.0 * std::sin(x / 9.0 + 1.0) + 4.0 * fractalNoise(x / 5.0, 1.5, 47, 4);
    const double crowns = fractalNoise(x / 1.7, y / 1.5, 53, 4);
    const double lit = 0.55 + 0.9 * (crowns - 0.5) + 0.25 * std::sin(x / 13.0);
    light = mix(light, {40 + 70 * lit, 70 + 80 * lit, 30 + 35 * lit}, smooth(wood - 0.3, wood + 0.3, y));
    if (y > 39.0 && y < 44.0) {
        const double ripple = fractalNoise(x / 3.0, y * 3.0, 59, 3);
        light = mix(light, {80 + 70 * ripple, 105 + 70 * ripple, 140 + 60 * ripple},
                    smooth(39.0, 39.4, y) * (1 - smooth(43.6, 44.0, y)));
    }
    const double grass = fractalNoise(x / 2.0, y / 1.2, 61, 4);
    const double depth = std::clamp((y - 44.0) / 30.0, 0.0, 1.0);
    light = mix(light, {95 + 80 * grass + 40 * depth, 135 + 70 * grass + 20 * depth, 45 + 35 * grass},
                smooth(43.8, 44.2, y));
    // Trees in front: a trunk and a ragged crown lit from the left.
    for (const auto& [tx, base, size] : {std::array<double, 3>{30, 62, 9}, {70, 58, 7}, {118, 66, 11},
                                         {160, 60, 8}, {205, 64, 10}}) {
        const double dx = (x - tx) / size;
        const double dy = (y - (base - 3.2 * size)) / size;
        const double ragged = 0.75 + 0.5 * fractalNoise(x / 1.2, y / 1.2, 67, 3);
        const double inCrown = 1 - smooth(ragged - 0.08, ragged + 0.08, std::sqrt(dx * dx + 0.8 * dy * dy));
        const double trunk = (1 - smooth(0.12, 0.18, std::abs(dx))) * smooth(base - 2.4 * size, base - 2.2 * size, y) *
                             (1 - smooth(base - 0.2, base, y));
        light = mix(light, {70, 50, 35}, trunk);
        const double shade = std::clamp(0.6 - 0.45 * dx - 0.3 * dy, 0.15, 1.0) * (0.6 + 0.6 * crowns);
        light = mix(light, {30 + 80 * shade, 60 + 100 * shade, 20 + 40 * shade}, inCrown);
    }
    return light;
}

// A street at night: dark facades with a few lit windows, street lamps
// with their glow, a wet road that mirrors them.
Light nightStreet(double x, double y)
{
    const double texture = fractalNoise(x / 2.0, y / 2.0, 71, 4);
    Light light{8 + 10 * texture + 12 * std::max(0.0, 1 - y / 20.0), 10 + 10 * texture + 14 * std::max(0.0, 1 - y / 20.0),
                22 + 16 * texture + 20 * std::max(0.0, 1 - y / 20.0)};
    const double roof = 10.0 + 6.0 * std::floor(fractalNoise(std::floor(x / 14.0), 0.5, 73, 1) * 3.0);
    if (y > roof && y < 46.0) {
        light = {18 + 20 * texture, 16 + 16 * texture, 18 + 14 * texture};
        const int wx = static_cast<int>(std::floor(x / 5.0));
        const int wy = static_cast<int>(std::floor(y / 6.0));
        const double fx = x / 5.0 - wx;
        const double fy = y / 6.0 - wy;
        if (fx > 0.3 && fx < 0.8 && fy > 0.25 && fy < 0.75 && hashNoise(wx, wy, 79) > 0.72) {
            light = {150 + 60 * texture, 115 + 40 * texture, 55 + 20 * texture};
        }
    }
    if (y >= 46.0) {
        const double wet = fractalNoise(x / 1.5, y / 0.6, 83, 3);
        light = {14 + 24 * wet, 14 + 24 * wet, 18 + 26 * wet};
    }
    for (double lamp = 20.0; lamp < 260.0; lamp += 48.0) {
        const double dx = x - lamp;
        const double dy = y - 30.0;
        const double glow = 170.0 * std::exp(-(dx * dx + dy * dy) / (2 * 3.0 * 3.0));
        const double mirrored =
            y > 46.0 ? 70.0 * std::exp(-dx * dx / (2 * 2.0 * 2.0)) * fractalNoise(x / 1.0, y / 0.5, 89, 2) : 0.0;
        light.r += glow + mirrored;
        light.g += 0.8 * (glow + mirrored);
        light.b += 0.45 * (glow + mirrored);
    }
    return light;
}

// A snowy slope in the sun under a pale sky, a few dark firs.
Light snowSlope(double x, double y)
{
    const double ridge = 20.0 + 5.0 * std::sin(x / 19.0) + 3.0 * fractalNoise(x / 8.0, 0.5, 97, 4);
    Light light = mix({185, 210, 240}, {225, 232, 245}, std::clamp(y / 20.0, 0.0, 1.0));
    const double drift = fractalNoise(x / 6.0, y / 3.0, 101, 5);
    const double sun = 0.86 + 0.1 * std::sin(x / 11.0 + y / 7.0) + 0.08 * (drift - 0.5);
    light = mix(light, {232 * sun, 236 * sun, 248 * sun}, smooth(ridge - 0.3, ridge + 0.3, y));
    for (const auto& [tx, base, size] :
         {std::array<double, 3>{25, 44, 4}, {58, 52, 6}, {96, 40, 3}, {140, 56, 7}, {185, 47, 5}}) {
        const double h = (base - y) / (5.0 * size);
        const double half = (1 - h) * 1.1 * size * (0.8 + 0.4 * fractalNoise(x / 1.0, y / 1.0, 103, 2));
        const double inside = (h > 0 && h < 1) ? 1 - smooth(half - 0.3, half + 0.3, std::abs(x - tx)) : 0.0;
        const double needles = fractalNoise(x / 1.2, y / 1.2, 107, 3);
        light = mix(light, {20 + 35 * needles, 45 + 45 * needles, 35 + 35 * needles}, inside);
    }
    return light;
}

using Scene = std::function<Light(double, double)>;

// One frame of a camera looking at the scene: the screen's centre at (cx,
// cy), `zoom` times closer than at the start, every pixel the mean of 3 x 3
// samples, `exposure` times the light, and grain: fresh noise in every
// frame, mostly shared by the three channels.
QImage filmFrame(const Scene& scene, double cx, double cy, double zoom, double exposure, std::mt19937& random)
{
    std::normal_distribution<double> grain(0.0, 3.5);
    std::normal_distribution<double> colourGrain(0.0, 1.5);
    return drawFrame([&](int x, int y) {
        Light sum{0, 0, 0};
        for (int sy = 0; sy < 3; ++sy) {
            for (int sx = 0; sx < 3; ++sx) {
                const double u = cx + (x + (sx + 0.5) / 3.0 - W / 2.0) / zoom;
                const double v = cy + (y + (sy + 0.5) / 3.0 - H / 2.0) / zoom;
                const Light l = scene(u, v);
                sum.r += l.r;
                sum.g += l.g;
                sum.b += l.b;
            }
        }
        const double n = grain(random);
        return rgb(sum.r / 9 * exposure + n + colourGrain(random), sum.g / 9 * exposure + n + colourGrain(random),
                   sum.b / 9 * exposure + n + colourGrain(random));
    });
}

std::vector<Clip> filmClips()
{
    std::vector<Clip> clips;
    std::mt19937 random(11);
    const auto shoot = [&](const std::string& name, const std::function<QImage(int)>& frameAt) {
        Clip clip{name, {}};
        for (int f = 0; f < ClipFrames; ++f) {
            clip.frames.push_back(frameAt(f));
        }
        clips.push_back(std::move(clip));
    };
    // A slow pan to the right while the camera closes in.
    shoot("film: valley, pan and zoom",
          [&](int f) { return filmFrame(valley, 60.0 + 0.6 * f, 34.0, 1.0 + 0.005 * f, 1.0, random); });
    shoot("film: street at night (dark)",
          [&](int f) { return filmFrame(nightStreet, 70.0 + 0.4 * f, 33.0, 1.0 + 0.003 * f, 1.0, random); });
    shoot("film: snowy slope (bright)",
          [&](int f) { return filmFrame(snowSlope, 60.0 - 0.5 * f, 34.0, 1.0 + 0.004 * f, 1.0, random); });
    // The valley fades to black over a second, the snow comes up from it.
    shoot("film: fade out and in", [&](int f) {
        constexpr int Half = ClipFrames / 2;
        if (f < Half) {
            const double light = 1.0 - smooth(Half - 16.0, Half - 1.0, f);
            return filmFrame(valley, 90.0 + 0.3 * f, 34.0, 1.0, light, random);
        }
        const double light = smooth(Half, Half + 15.0, f);
        return filmFrame(snowSlope, 80.0 - 0.3 * f, 34.0, 1.0, light, random);
    });
    return clips;
}

#ifdef ZOETRA_BENCHMARK_VIDEO
// The frames of a video file, as the converter imports it with --fit fill.
std::optional<Clip> videoClip(const QString& path, double start, double seconds)
{
    QString message;
    const std::unique_ptr<media::FrameStream> stream = media::FrameStream::open(path, message);
    media::ImportSettings settings;
    settings.framesPerSecond = Fps;
    settings.start = start;
    settings.end = start + seconds;
    settings.fit = media::FitMode::Fill;
    if (!stream || !stream->begin(settings, message)) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return std::nullopt;
    }
    Clip clip{"video " + QFileInfo(path).fileName().toStdString(), {}};
    media::ScaledFrame frame;
    while (stream->next(frame) == media::FrameStream::Status::Frame) {
        clip.frames.push_back(frame.image.convertToFormat(QImage::Format_RGB32));
    }
    if (clip.frames.size() < 2) {
        std::fprintf(stderr, "%s: fewer than two frames. %s\n", qPrintable(path), qPrintable(stream->message()));
        return std::nullopt;
    }
    return clip;
}
#endif

// ---- measures ----

using Plane = std::vector<double>;  // W x H, row by row

Plane greyPlane(const QImage& image)
{
    Plane plane(static_cast<std::size_t>(W * H));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const QRgb c = image.pixel(x, y);
            plane[static_cast<std::size_t>(y * W + x)] = (qRed(c) + qGreen(c) + qBlue(c)) / 3.0;
        }
    }
    return plane;
}

Plane blur(const Plane& in, double sigma)
{
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel(static_cast<std::size_t>(2 * radius + 1));
    double total = 0;
    for (int k = -radius; k <= radius; ++k) {
        total += kernel[static_cast<std::size_t>(k + radius)] = std::exp(-k * k / (2 * sigma * sigma));
    }
    for (double& k : kernel) {
        k /= total;
    }
    const auto at = [](const Plane& p, int x, int y) {
        return p[static_cast<std::size_t>(std::clamp(y, 0, H - 1) * W + std::clamp(x, 0, W - 1))];
    };
    Plane across(in.size());
    Plane out(in.size());
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            double s = 0;
            for (int k = -radius; k <= radius; ++k) {
                s += kernel[static_cast<std::size_t>(k + radius)] * at(in, x + k, y);
            }
            across[static_cast<std::size_t>(y * W + x)] = s;
        }
    }
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            double s = 0;
            for (int k = -radius; k <= radius; ++k) {
                s += kernel[static_cast<std::size_t>(k + radius)] * at(across, x, y + k);
            }
            out[static_cast<std::size_t>(y * W + x)] = s;
        }
    }
    return out;
}

double ssim(const Plane& a, const Plane& b)
{
    constexpr double C1 = (0.01 * 255) * (0.01 * 255);
    constexpr double C2 = (0.03 * 255) * (0.03 * 255);
    Plane aa(a.size());
    Plane bb(a.size());
    Plane ab(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        aa[i] = a[i] * a[i];
        bb[i] = b[i] * b[i];
        ab[i] = a[i] * b[i];
    }
    // The 11 x 11 window of sigma 1.5: blur() cuts its kernel at 3 sigma,
    // 4.5, so its radius is 5.
    const Plane ma = blur(a, 1.5);
    const Plane mb = blur(b, 1.5);
    const Plane saa = blur(aa, 1.5);
    const Plane sbb = blur(bb, 1.5);
    const Plane sab = blur(ab, 1.5);
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double va = saa[i] - ma[i] * ma[i];
        const double vb = sbb[i] - mb[i] * mb[i];
        const double cov = sab[i] - ma[i] * mb[i];
        sum += ((2 * ma[i] * mb[i] + C1) * (2 * cov + C2)) / ((ma[i] * ma[i] + mb[i] * mb[i] + C1) * (va + vb + C2));
    }
    return sum / static_cast<double>(a.size());
}

struct Mode {
    std::string name;
    Pattern pattern;
    int black;
    int white;
    bool autoExposure = false;
    double gamma = 1.0;
    // The thresholds "Auto" proposes on the clip's first frame instead.
    bool autoBalance = false;
};

struct Figures {
    double ssim1 = 0;
    double ssim07 = 0;
    double writtenPerSecond = 0;
    double compactPerSecond = 0;
    double flips = 0;  // share of pixels a frame
};

// The mode's settings for a clip that starts with `first`.
void configure(Vars& vars, const Mode& mode, const QImage& first)
{
    vars.BlackThreshold = static_cast<std::int16_t>(mode.black);
    vars.WhiteThreshold = static_cast<std::int16_t>(mode.white);
    vars.DitherOn = true;
    vars.ColourChannel = 1;
    vars.Pictures.pattern = mode.pattern;
    vars.Pictures.gamma = mode.gamma;
    vars.Pictures.autoExposure = mode.autoExposure;
    if (mode.autoBalance) {
        MemoryPictureArea picture;
        picture.setPicture(first);
        const AutoBalanceProposal proposal = proposeAutoBalance(vars, picture);
        vars.BlackThreshold = static_cast<std::int16_t>(proposal.black);
        vars.WhiteThreshold = static_cast<std::int16_t>(proposal.white);
    }
}

compact::Screen packed(const Vars& vars)
{
    compact::Screen screen{};
    for (std::size_t i = 0; i < screen.size(); ++i) {
        screen[i] = static_cast<std::uint8_t>(vars.FrameBytes[i]);
    }
    return screen;
}

Figures measureClip(const Clip& clip, const Mode& mode, bool quality)
{
    auto vars = std::make_unique<Vars>();
    configure(*vars, mode, clip.frames.front());
    const RunHistory history(*vars);
    MemoryPictureArea source;
    MemoryPictureArea destination;
    compact::CompactEncoder encoder;
    compact::Screen previous{};
    Figures figures;
    long long written = 0;
    long long flipped = 0;
    std::vector<int> previousBits;
    for (const QImage& frame : clip.frames) {
        source.setPicture(frame);
        ConvertToMono(*vars, source, destination);
        PackFrame(*vars);
        const compact::Screen screen = packed(*vars);
        int changed = 0;
        for (std::size_t i = 0; i < screen.size(); ++i) {
            changed += screen[i] != previous[i] ? 1 : 0;
        }
        written += 3LL * changed + 1;
        encoder.addFrame(screen);
        previous = screen;

        std::vector<int> bits(static_cast<std::size_t>(W * H));
        Plane shown(bits.size());
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const int b = vars->PixelGrid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
                bits[static_cast<std::size_t>(y * W + x)] = b;
                shown[static_cast<std::size_t>(y * W + x)] = b ? 0.0 : 255.0;
            }
        }
        if (!previousBits.empty()) {
            for (std::size_t i = 0; i < bits.size(); ++i) {
                flipped += bits[i] != previousBits[i] ? 1 : 0;
            }
        }
        previousBits = std::move(bits);
        if (quality) {
            const Plane grey = greyPlane(frame);
            figures.ssim1 += ssim(blur(grey, 1.0), blur(shown, 1.0));
            figures.ssim07 += ssim(blur(grey, 0.7), blur(shown, 0.7));
        }
    }
    encoder.finish();
    const double frames = static_cast<double>(clip.frames.size());
    figures.ssim1 /= frames;
    figures.ssim07 /= frames;
    figures.writtenPerSecond = written / frames * Fps;
    figures.compactPerSecond = encoder.size() / frames * Fps;
    figures.flips = flipped / ((frames - 1) * W * H);
    return figures;
}

double framesPerSecond(const std::vector<Clip>& clips, const Mode& mode)
{
    std::vector<std::unique_ptr<MemoryPictureArea>> pictures;
    for (const Clip& clip : clips) {
        for (const QImage& frame : clip.frames) {
            pictures.push_back(std::make_unique<MemoryPictureArea>());
            pictures.back()->setPicture(frame);
        }
    }
    auto vars = std::make_unique<Vars>();
    configure(*vars, mode, clips.front().frames.front());
    const RunHistory history(*vars);
    MemoryPictureArea destination;
    // The search is two orders slower: fewer frames for it.
    const int frames = mode.pattern == Pattern::Search ? 2000 : 40000;
    // Processor time of this process, so that other programs on a busy
    // machine do not count.
    const std::clock_t start = std::clock();
    for (int f = 0; f < frames; ++f) {
        ConvertToMono(*vars, *pictures[static_cast<std::size_t>(f) % pictures.size()], destination);
        PackFrame(*vars);
    }
    const double took = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    return frames / took;
}

// FNV-1a over the one-bit frames of every clip, converted as a run, and of
// each clip's first frame converted on its own, as the preview does.
std::uint64_t digest(const std::vector<Clip>& clips, const Mode& mode)
{
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&hash](const Vars& vars) {
        for (const auto& column : vars.PixelGrid) {
            for (const std::int16_t bit : column) {
                hash = (hash ^ static_cast<std::uint64_t>(bit)) * 1099511628211ull;
            }
        }
    };
    MemoryPictureArea source;
    MemoryPictureArea destination;
    for (const Clip& clip : clips) {
        auto vars = std::make_unique<Vars>();
        configure(*vars, mode, clip.frames.front());
        source.setPicture(clip.frames.front());
        ConvertToMono(*vars, source, destination);
        add(*vars);
        const RunHistory history(*vars);
        for (const QImage& frame : clip.frames) {
            source.setPicture(frame);
            ConvertToMono(*vars, source, destination);
            add(*vars);
        }
    }
    return hash;
}

QImage oneBit(const QImage& frame, const Mode& mode)
{
    auto vars = std::make_unique<Vars>();
    configure(*vars, mode, frame);
    MemoryPictureArea source;
    MemoryPictureArea destination;
    source.setPicture(frame);
    ConvertToMono(*vars, source, destination);
    return destination.toImage().copy(0, 0, W, H);
}

void writeContactSheet(const QString& path, const std::vector<Mode>& modes)
{
    const std::vector<std::pair<QString, QImage>> columns = {
        {QStringLiteral("bright"), drawFrame([](int x, int y) { return landscape(x + 100, y, 1.15); })},
        {QStringLiteral("dark"), drawFrame([](int x, int y) { return landscape(x + 40, y + 20, 0.45); })},
        {QStringLiteral("character"), walkingFigure().frames[25]},
    };
    constexpr int Scale = 2;
    constexpr int Label = 200;
    constexpr int Gap = 6;
    constexpr int RowHeight = H * Scale + Gap;
    const int width = Label + static_cast<int>(columns.size()) * (W * Scale + Gap);
    const int height = 24 + static_cast<int>(modes.size() + 1) * RowHeight;
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        painter.drawText(Label + static_cast<int>(c) * (W * Scale + Gap), 16, columns[c].first);
    }
    const auto drawRow = [&](int row, const QString& label, const std::function<QImage(const QImage&)>& render) {
        const int top = 24 + row * RowHeight;
        painter.drawText(QRect(4, top, Label - 8, H * Scale), Qt::AlignVCenter | Qt::AlignLeft, label);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const QImage image = render(columns[c].second).scaled(W * Scale, H * Scale);
            painter.drawImage(Label + static_cast<int>(c) * (W * Scale + Gap), top, image);
        }
    };
    drawRow(0, QStringLiteral("grey original"), [](const QImage& frame) {
        return frame.convertToFormat(QImage::Format_Grayscale8);
    });
    for (std::size_t m = 0; m < modes.size(); ++m) {
        drawRow(static_cast<int>(m) + 1, QString::fromStdString(modes[m].name),
                [&](const QImage& frame) { return oneBit(frame, modes[m]); });
    }
    painter.end();
    if (!sheet.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
}

struct ClipSet {
    std::string name;
    std::vector<Clip> clips;
};

// One table: each mode's means over the set's clips, with the still scene's
// flips and the speed measured once for every set.
void printTable(const ClipSet& set, const std::vector<Mode>& modes, const Clip& still,
                const std::vector<Clip>& speedClips, bool speed, bool perClip)
{
    static std::map<std::string, std::pair<double, double>> once;  // mode: still flips, frames a second
    std::printf("Clip set \"%s\" (%.2f frames a second):", set.name.c_str(), Fps);
    for (const Clip& clip : set.clips) {
        std::printf(" %s (%zu frames);", clip.name.c_str(), clip.frames.size());
    }
    std::printf("\nSSIM window: Gaussian sigma 1.5, 11 x 11. Means over the clips.\n\n");
    std::printf("| pattern, thresholds | SSIM blur 1 | SSIM blur 0.7 | written B/s | compact B/s | flips/frame | "
                "still: flips/frame | frames/s |\n|---|---|---|---|---|---|---|---|\n");
    for (const Mode& mode : modes) {
        Figures mean;
        for (const Clip& clip : set.clips) {
            const Figures f = measureClip(clip, mode, true);
            if (perClip) {
                std::printf("|   %s | %.3f | %.3f | %.0f | %.0f | %.2f %% | | |\n", clip.name.c_str(), f.ssim1,
                            f.ssim07, f.writtenPerSecond, f.compactPerSecond, 100 * f.flips);
            }
            mean.ssim1 += f.ssim1;
            mean.ssim07 += f.ssim07;
            mean.writtenPerSecond += f.writtenPerSecond;
            mean.compactPerSecond += f.compactPerSecond;
            mean.flips += f.flips;
        }
        const auto known = once.find(mode.name);
        const std::pair<double, double> stillAndSpeed =
            known != once.end() ? known->second
                                : once[mode.name] = {measureClip(still, mode, false).flips,
                                                     speed ? framesPerSecond(speedClips, mode) : 0.0};
        const double n = static_cast<double>(set.clips.size());
        std::printf("| %s | %.3f | %.3f | %.0f | %.0f | %.2f %% | %.3f %% | %.0f |\n", mode.name.c_str(),
                    mean.ssim1 / n, mean.ssim07 / n, mean.writtenPerSecond / n, mean.compactPerSecond / n,
                    100 * mean.flips / n, 100 * stillAndSpeed.first, stillAndSpeed.second);
        std::fflush(stdout);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QString sheetPath;
    QString only;
    QString video;
    double videoStart = 0.0;
    double videoSeconds = 12.0;
    bool useFfmpeg = true;
    bool speed = true;
    bool perClip = false;
    bool speedOnly = false;
    bool digests = false;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--contact-sheet") && i + 1 < args.size()) {
            sheetPath = args[++i];
        } else if (args[i] == QLatin1String("--no-ffmpeg")) {
            useFfmpeg = false;
        } else if (args[i] == QLatin1String("--no-speed")) {
            speed = false;
        } else if (args[i] == QLatin1String("--speed-only")) {
            speedOnly = true;
        } else if (args[i] == QLatin1String("--digest")) {
            digests = true;
        } else if (args[i] == QLatin1String("--per-clip")) {
            perClip = true;
        } else if (args[i] == QLatin1String("--modes") && i + 1 < args.size()) {
            only = args[++i];
        } else if (args[i] == QLatin1String("--video") && i + 1 < args.size()) {
            video = args[++i];
        } else if (args[i] == QLatin1String("--video-start") && i + 1 < args.size()) {
            videoStart = args[++i].toDouble();
        } else if (args[i] == QLatin1String("--video-seconds") && i + 1 < args.size()) {
            videoSeconds = args[++i].toDouble();
        } else {
            std::fprintf(stderr, "unknown argument %s\n", qPrintable(args[i]));
            return 2;
        }
    }

    std::vector<Clip> clips;
    QTemporaryDir folder;
    if (useFfmpeg && test::haveFfmpeg() && folder.isValid()) {
        clips = ffmpegClips(folder.path());
    }
    clips.push_back(clouds());
    clips.push_back(pannedLandscape());
    clips.push_back(walkingFigure());
    const Clip still = stillScene();

    std::vector<Mode> modes = {{"checkerboard 85-170", Pattern::Checkerboard, 85, 170},
                               {"checkerboard auto", Pattern::Checkerboard, 85, 170, false, 1.0, true}};
    for (const PatternName& name : PatternNames) {
        if (name.pattern == Pattern::Checkerboard) {
            continue;
        }
        modes.push_back({std::string(name.option) + " 85-170", name.pattern, 85, 170});
        modes.push_back({std::string(name.option) + " 0-255", name.pattern, 0, 255});
    }
    for (const Pattern pattern : {Pattern::Bayer2, Pattern::Search}) {
        const std::string option = patternOption(pattern);
        modes.push_back({option + " auto", pattern, 0, 255, false, 1.0, true});
        modes.push_back({option + " 0-255 auto exposure", pattern, 0, 255, true});
    }
    if (!only.isEmpty()) {
        // pattern:black:white[:auto][:balance][:gamma], separated by commas
        modes.clear();
        for (const QString& written : only.split(QLatin1Char(','))) {
            const QStringList parts = written.split(QLatin1Char(':'));
            const auto pattern = patternFromOption(parts.value(0));
            if (!pattern || parts.size() < 3) {
                std::fprintf(stderr, "bad mode %s\n", qPrintable(written));
                return 2;
            }
            Mode mode{written.toStdString(), *pattern, parts[1].toInt(), parts[2].toInt()};
            for (const QString& extra : parts.mid(3)) {
                if (extra == QLatin1String("auto")) {
                    mode.autoExposure = true;
                } else if (extra == QLatin1String("balance")) {
                    mode.autoBalance = true;
                } else {
                    mode.gamma = extra.toDouble();
                }
            }
            modes.push_back(mode);
        }
    }

    if (digests) {
        std::vector<Clip> all = clips;
        all.push_back(still);
        for (const Mode& mode : modes) {
            std::printf("%s %016llx\n", mode.name.c_str(), static_cast<unsigned long long>(digest(all, mode)));
        }
        return 0;
    }

    if (speedOnly) {
        for (const Mode& mode : modes) {
            std::printf("| %s | frames/s %.0f |\n", mode.name.c_str(), framesPerSecond(clips, mode));
        }
        return 0;
    }

    std::vector<ClipSet> sets = {{"drawn", clips}, {"film-like", filmClips()}};
    if (!video.isEmpty()) {
#ifdef ZOETRA_BENCHMARK_VIDEO
        std::optional<Clip> clip = videoClip(video, videoStart, videoSeconds);
        if (!clip) {
            return 1;
        }
        sets.push_back({"video", {std::move(*clip)}});
#else
        (void)videoStart;
        (void)videoSeconds;
        std::fprintf(stderr, "this build has no video import (it needs FFmpeg's libraries)\n");
        return 1;
#endif
    }
    for (const ClipSet& set : sets) {
        printTable(set, modes, still, clips, speed, perClip);
    }

    if (!sheetPath.isEmpty()) {
        std::vector<Mode> shown = {modes.front()};
        for (const PatternName& name : PatternNames) {
            if (name.pattern != Pattern::Checkerboard) {
                shown.push_back({std::string(name.option) + " 0-255", name.pattern, 0, 255});
            }
        }
        writeContactSheet(sheetPath, shown);
    }
    return 0;
}
