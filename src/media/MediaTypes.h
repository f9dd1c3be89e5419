#pragma once

#include "shared/Types.h"
#include "shared/VideoTarget.h"

#include <QImage>
#include <QString>

#include <optional>

namespace zoetra::media {

// How a picture of another shape meets the 3:2 screen.
enum class FitMode {
    Fit,      // the whole picture, white bars where it is narrower or flatter
    Fill,     // centre crop to 3:2, no bars
    Stretch,  // the whole picture, distorted to 3:2
};

// Largest width or height accepted, in pixels, and the largest picture.
inline constexpr int MaxSourceSide = 16384;
inline constexpr long long MaxSourcePixels = 100'000'000;

// The most frames one import writes.
inline constexpr int MaxImportFrames = 200'000;

// The message for a picture past the limits above; empty when it is within
// them. name is already quoted.
QString pictureSizeProblem(const QString& name, int width, int height);

// What to take from a clip. Times are seconds from the clip's first frame.
struct ImportSettings {
    double framesPerSecond = WrittenFramesPerSecond;
    double start = 0.0;
    std::optional<double> end;  // none: to the end of the clip
    FitMode fit = FitMode::Fit;
};

// What an opened source is, for the user to see before the import.
struct ClipInfo {
    enum class Kind {
        Video,          // a video file, or an animated picture FFmpeg decodes
        Animation,      // an animated picture read by Qt (e.g. animated WebP)
        Picture,        // one still picture: one frame whatever the times
        PictureFolder,  // a folder of pictures, one frame each
    };
    Kind kind = Kind::Video;
    int width = 0;  // of the first frame as shown (a turned video's sides swap)
    int height = 0;
    double pixelAspect = 1.0;         // width of a pixel against its height, as shown
    std::optional<double> duration;   // seconds, when known
    std::optional<double> frameRate;  // the source's frames a second, when known
    int pictureCount = -1;            // pictures of a folder or an animation, when known
    QString format;                   // e.g. "H.264 in QuickTime / MOV"
};

// One frame for the calculator: 96 x 64 pixels (QImage::Format_RGB32) in the
// source's colours, and where it lies in the clip.
struct ScaledFrame {
    int index = 0;      // 0, 1, 2 ... in the order of the import
    double time = 0.0;  // seconds from the clip's first frame
    QImage image;
};

// Keeps FFmpeg's log off the program's standard error (for every part of
// the program that uses FFmpeg); our messages say what went wrong. Safe to
// call from any thread, any number of times.
void quietFfmpegLog();

// Seconds as m:ss.s (or h:mm:ss.s), for messages.
QString formatSeconds(double seconds);

}  // namespace zoetra::media
