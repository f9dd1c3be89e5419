#pragma once

#include "media/MediaTypes.h"

#include <QImage>

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

    // A null image when the picture cannot be converted.
    QImage scale(const AVFrame& frame, double pixelAspect, FitMode fit);
    QImage scale(const QImage& picture, FitMode fit);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zoetra::media
