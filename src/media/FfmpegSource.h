#pragma once

#include "media/FrameSource.h"

#include <QTransform>

#include <atomic>
#include <memory>

namespace zoetra::media {

// A video file, or an animated picture (GIF, APNG), decoded by FFmpeg's
// libraries: the best video stream, one decoder using its own threads on
// every core, packets read and frames received one at a time.
class FfmpegSource final : public FrameSource {
public:
    ~FfmpegSource() override;

    // Opens the file and decodes its first frame, so that a file FFmpeg
    // cannot decode fails here. Nothing and a message on failure. While
    // `cancel` is set, every open, read and wait of FFmpeg's gives up at
    // once (a signal that interrupts a blocking call sets it).
    static std::unique_ptr<FfmpegSource> open(const QString& path, QString& message,
                                              const std::atomic<bool>* cancel = nullptr);

    const ClipInfo& info() const override { return info_; }
    void start(double seconds, double interval) override;
    Read next(SourceFrame& frame) override;
    QString problem() const override { return problem_; }
    std::optional<double> position() const override;
    bool durationBinding() const override { return !discontinuous_; }
    // The time on the file's clock of the clip's first frame, which the
    // frames' times count from.
    double originSeconds() const;

private:
    FfmpegSource() = default;
    // Decodes until a frame is received; false at the end or on a failure.
    bool decode(AVFrame* frame);
    double secondsOf(int64_t timestamp) const;
    // The time of a decoded frame: by its timestamp, made continuous where
    // the container lets timestamps restart; by the frame rate without one.
    double timeOf(const AVFrame& decoded);
    static int interrupted(void* source);

    FormatContextPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    FramePtr primed_;  // the first frame, decoded by open()
    int stream_ = -1;
    int64_t origin_ = 0;  // the timestamp of the clip's first frame
    double frameInterval_ = 0.0;
    std::optional<double> lastTime_;  // of the frame before
    double timeShift_ = 0.0;          // added where the timestamps restarted
    bool discontinuous_ = false;      // the container lets timestamps restart
    double pixelAspect_ = 1.0;        // of the stored pixels
    QTransform orientation_;          // from the stream's display matrix
    const std::atomic<bool>* cancel_ = nullptr;
    bool draining_ = false;
    bool finished_ = false;
    ClipInfo info_;
    QString name_;
    QString problem_;  // why reading broke off
    QString damage_;   // the last picture the decoder refused
};

}  // namespace zoetra::media
