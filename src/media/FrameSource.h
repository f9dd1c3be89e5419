#pragma once

#include "media/Ffmpeg.h"
#include "media/MediaTypes.h"

#include <QImage>
#include <QString>
#include <QTransform>

#include <optional>

namespace zoetra::media {

// A decoded picture of the source at its own size: an FFmpeg frame or a
// picture read by Qt, and the time it is shown from.
struct SourceFrame {
    double time = 0.0;                // seconds from the clip's first frame
    std::optional<double> duration;   // how long it is shown, when known
    FramePtr decoded;                 // set for FFmpeg's frames
    QImage picture;                   // set for Qt's pictures
    // For FFmpeg's frames: the width of a stored pixel against its height,
    // and how the stored picture is turned or mirrored to be shown upright
    // (the identity, or quarter turns and mirrors only).
    double pixelAspect = 1.0;
    QTransform orientation;
    // The picture already fitted to the screen, when the source did that
    // itself (see fitTo()); then `picture` is null.
    QImage screen;
};

// What the decoders have in common: one source, read front to back.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual const ClipInfo& info() const = 0;

    // How the pictures are to meet the screen: a source that decodes ahead
    // on other threads fits them there too. Called before start(); others
    // leave the fitting to the stream.
    virtual void fitTo(FitMode) {}

    // Positions the source at or before `seconds`; the frames of a folder
    // are placed `interval` seconds apart. Called once, before the first
    // next().
    virtual void start(double seconds, double interval) = 0;

    enum class Read { Frame, End, Failed };
    // The next frame. End: no more frames; Failed: the source broke off
    // (problem() says why; the frames before it stand).
    virtual Read next(SourceFrame& frame) = 0;
    virtual QString problem() const = 0;

    // How far through the file reading has come, 0..1, when it can tell.
    virtual std::optional<double> position() const { return std::nullopt; }

    // A warning to pass on at the end (e.g. pictures of a folder left out).
    virtual QString notes() const { return {}; }

    // False when the stated duration is only an estimate that the frames
    // may run past (a transport stream whose parts were joined end to end).
    virtual bool durationBinding() const { return true; }
};

}  // namespace zoetra::media
