#pragma once

#include "media/FrameSource.h"

#include <memory>

namespace zoetra::media {

// A video file, or an animated picture (GIF, APNG), decoded by FFmpeg's
// libraries: the best video stream, one decoder using its own threads on
// every core, packets read and frames received one at a time.
class FfmpegSource final : public FrameSource {
public:
    ~FfmpegSource() override;

    // Opens the file and decodes its first frame, so that a file FFmpeg
    // cannot decode fails here. Nothing and a message on failure.
    static std::unique_ptr<FfmpegSource> open(const QString& path, QString& message);

    const ClipInfo& info() const override { return info_; }
    void start(double seconds, double interval) override;
    Read next(SourceFrame& frame) override;
    QString problem() const override { return problem_; }
    std::optional<double> position() const override;

private:
    FfmpegSource() = default;
    // Decodes until a frame is received; false at the end or on a failure.
    bool decode(AVFrame* frame);
    double secondsOf(int64_t timestamp) const;

    FormatContextPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    FramePtr primed_;  // the first frame, decoded by open()
    int stream_ = -1;
    int64_t origin_ = 0;  // the timestamp of the clip's first frame
    double frameInterval_ = 0.0;
    double lastTime_ = -1.0;
    bool draining_ = false;
    bool finished_ = false;
    ClipInfo info_;
    QString name_;
    QString problem_;  // why reading broke off
    QString damage_;   // the last picture the decoder refused
};

}  // namespace zoetra::media
