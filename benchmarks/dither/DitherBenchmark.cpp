// The reduction's patterns side by side, on clips made when it runs.
//
// For each pattern and thresholds, over the clip set (the mean of the clips):
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
//   time of this process (the machine may be shared).
//
// Clip set ("ffmpeg and drawn", 60 frames each): ffmpeg's testsrc2,
// mandelbrot and gradients sources; drawn in code: drifting cloud-like
// noise, a landscape panned, a figure walking over a textured wall.
//
// Targets for the best video pattern: mean SSIM (sigma 1) at least 0.08
// above the checkerboard's at no more compact bytes a second; at most 0.1 %
// of pixels flipping on the still scene; SSIM (sigma 0.7) at most 0.07 below
// the checkerboard's. Every pattern but the searches: 20,000 frames a second.
//
// --digest prints, instead of the table, a checksum of each mode's one-bit
// frames over the clips and the still scene: a change meant to make the
// reduction faster must leave it as it is.
//
// Usage: dither_benchmark [--contact-sheet FILE.png] [--no-ffmpeg] [--no-speed]
//        [--speed-only] [--digest] [--per-clip] [--modes pattern:black:white[:auto][:gamma],...]
#include "codec/compact/CompactEncoder.h"
#include "imaging/Conversion.h"
#include "platform/ImagePictureArea.h"
#include "shared/Vars.h"
#include "shared/VideoTarget.h"
#include "support/FfmpegClips.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
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
};

struct Figures {
    double ssim1 = 0;
    double ssim07 = 0;
    double writtenPerSecond = 0;
    double compactPerSecond = 0;
    double flips = 0;  // share of pixels a frame
};

void configure(Vars& vars, const Mode& mode)
{
    vars.BlackThreshold = static_cast<std::int16_t>(mode.black);
    vars.WhiteThreshold = static_cast<std::int16_t>(mode.white);
    vars.DitherOn = true;
    vars.ColourChannel = 1;
    vars.Pictures.pattern = mode.pattern;
    vars.Pictures.gamma = mode.gamma;
    vars.Pictures.autoExposure = mode.autoExposure;
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
    configure(*vars, mode);
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
    configure(*vars, mode);
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
        configure(*vars, mode);
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
    configure(*vars, mode);
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

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QString sheetPath;
    QString only;
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

    std::vector<Mode> modes = {{"checkerboard 85-170", Pattern::Checkerboard, 85, 170}};
    for (const PatternName& name : PatternNames) {
        if (name.pattern == Pattern::Checkerboard) {
            continue;
        }
        modes.push_back({std::string(name.option) + " 85-170", name.pattern, 85, 170});
        modes.push_back({std::string(name.option) + " 0-255", name.pattern, 0, 255});
    }
    modes.push_back({"bayer2 0-255 auto exposure", Pattern::Bayer2, 0, 255, true});
    modes.push_back({"search 0-255 auto exposure", Pattern::Search, 0, 255, true});
    if (!only.isEmpty()) {
        // pattern:black:white[:auto][:gamma], separated by commas
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

    std::printf("Clip set \"ffmpeg and drawn\" (%d frames each, %.2f a second):", ClipFrames, Fps);
    for (const Clip& clip : clips) {
        std::printf(" %s;", clip.name.c_str());
    }
    std::printf("\nSSIM window: Gaussian sigma 1.5, 11 x 11. Means over the clips.\n\n");
    std::printf("| pattern, thresholds | SSIM blur 1 | SSIM blur 0.7 | written B/s | compact B/s | flips/frame | "
                "still: flips/frame | frames/s |\n|---|---|---|---|---|---|---|---|\n");
    if (speedOnly) {
        for (const Mode& mode : modes) {
            std::printf("| %s | frames/s %.0f |\n", mode.name.c_str(), framesPerSecond(clips, mode));
        }
        return 0;
    }
    for (const Mode& mode : modes) {
        Figures mean;
        for (const Clip& clip : clips) {
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
        const double n = static_cast<double>(clips.size());
        const Figures stillFigures = measureClip(still, mode, false);
        std::printf("| %s | %.3f | %.3f | %.0f | %.0f | %.2f %% | %.3f %% | %.0f |\n", mode.name.c_str(),
                    mean.ssim1 / n, mean.ssim07 / n, mean.writtenPerSecond / n, mean.compactPerSecond / n,
                    100 * mean.flips / n, 100 * stillFigures.flips, speed ? framesPerSecond(clips, mode) : 0.0);
        std::fflush(stdout);
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
