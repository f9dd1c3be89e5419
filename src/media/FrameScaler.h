#pragma once

#include "media/MediaTypes.h"

#include <QImage>
#include <QRect>
#include <QTransform>

#include <memory>

struct AVFrame;

namespace zoetra::media {

// Fits decoded pictures onto the 96 x 64 screen with swscale's area filter,
// which averages every source pixel that falls into a screen pixel. Keeps
// the source's colours (its own colour matrix and range); transparent parts
// are laid on white, as are the bars of the "fit" mode. Not thread-safe:
// one scaler for each decoding thread.
class FrameScaler {
public:
    FrameScaler();
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // A null image when the picture cannot be converted. `orientation`
    // turns or mirrors the stored picture upright (quarter turns and
    // mirrors only); the fit applies to the picture as shown.
    QImage scale(const AVFrame& frame, double pixelAspect, FitMode fit, const QTransform& orientation = {});
    QImage scale(const QImage& picture, FitMode fit);

private:
    // The `source` part of the frame, area-scaled into the `target` part of
    // `into` (Format_RGB32).
    bool scaleInto(const AVFrame& frame, const QRect& source, QImage& into, const QRect& target);
    QImage scaleRgb(const QImage& picture, double pixelAspect, FitMode fit, const QTransform& orientation);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zoetra::media
