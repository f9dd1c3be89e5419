#pragma once

#include "media/MediaTypes.h"

#include <QString>

#include <atomic>
#include <memory>
#include <optional>

namespace zoetra::media {

class FrameSource;
class FrameScaler;

// A video file, an animated or still picture, or a folder of pictures,
// read as a stream of 96 x 64 frames at a chosen rate: the frame shown at
// start, start + 1/rate, start + 2/rate ... up to the end. Frames are decoded
// and scaled one at a time, so memory stays bounded whatever the length.
class FrameStream {
public:
    ~FrameStream();
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;

    // Opens a file or a folder. Nothing and a message when it cannot be
    // imported: also for anything else (a FIFO, a device), before it is
    // opened, and for a picture too large, before it is decoded. While
    // `cancel` is set, a blocking open or read gives up.
    static std::unique_ptr<FrameStream> open(const QString& path, QString& message,
                                             const std::atomic<bool>* cancel = nullptr);

    const ClipInfo& info() const;

    // Checks the settings against the clip and positions it at the start.
    // False and a message when they do not fit (a start after the end, a
    // part shorter than one frame, a rate of no frames, more frames than
    // MaxImportFrames). Called once.
    bool begin(const ImportSettings& settings, QString& message);

    // The number of frames expected, when the length is known.
    std::optional<int> expectedFrames() const;
    // The frames a second the stream was begun with.
    double framesPerSecond() const;

    enum class Status { Frame, End };
    // The next frame, or the end. At the end, message() is empty when the
    // clip was read to its end, or tells what went wrong: the file ended
    // early (the frames so far stand) or no frame at all could be read.
    Status next(ScaledFrame& frame);
    QString message() const;
    // True when the stream ended before the end that was asked for.
    bool endedEarly() const;

    // How far the stream has come, 0..1.
    double progress() const;

    // Where the frames' sound is to be read: the file, and the time on its
    // clock that the frames' times count from (its first frame's); nothing
    // for pictures, a folder of them and what Qt reads.
    struct SoundSource {
        QString path;
        double origin = 0.0;
    };
    std::optional<SoundSource> soundSource() const;
    // The first frame's time: the start the stream was begun with.
    double start() const;

private:
    FrameStream();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace zoetra::media
