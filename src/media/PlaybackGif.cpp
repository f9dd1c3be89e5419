#include "media/PlaybackGif.h"

#include "calc/Timing.h"
#include "media/Ffmpeg.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <QString>

#include <memory>

namespace zoetra::media {

namespace {

using calc::darkPixel;
using calc::LcdBackground;
using calc::LcdInk;
using calc::Recording;
using calc::RecordedFrame;
using calc::ScreenHeight;
using calc::ScreenWidth;

class GifWriter {
public:
    GifWriter(const std::string& path, int scale, std::int64_t sizeLimit)
        : path_(path), scale_(scale), sizeLimit_(sizeLimit)
    {
    }

    std::string write(const Recording& recording)
    {
        const std::vector<std::int64_t> timeline = gifTimeline(recording);
        std::string problem = open(recording.end == Recording::End::Loops,
                                   timeline.back() - timeline[timeline.size() - 2]);
        for (std::size_t i = 0; problem.empty() && i < recording.frames.size(); ++i) {
            problem = encode(&recording.frames[i].pixels, timeline[i]);
            if (problem.empty() && avio_tell(format_->pb) > sizeLimit_) {
                problem = "the GIF grew past " + std::to_string(sizeLimit_ / (1024 * 1024)) +
                          " MB at frame " + std::to_string(i + 1) + " of " + std::to_string(recording.frames.size()) +
                          ", so it was stopped and removed";
            }
        }
        if (problem.empty()) {
            problem = encode(nullptr, 0);
        }
        return finishOutput(format_.get(), path_, opened_, std::move(problem));
    }

private:
    std::string check(int code, const char* what) const { return outputProblem(code, what, path_); }

    std::string open(bool loops, std::int64_t lastDelay)
    {
        AVFormatContext* format = nullptr;
        if (const int code = avformat_alloc_output_context2(&format, nullptr, "gif", path_.c_str()); code < 0) {
            return check(code, "cannot write");
        }
        format_.reset(format);
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
        if (codec == nullptr) {
            return "this FFmpeg has no GIF encoder";
        }
        codec_.reset(avcodec_alloc_context3(codec));
        stream_ = avformat_new_stream(format_.get(), nullptr);
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!codec_ || stream_ == nullptr || !frame_ || !packet_) {
            return "out of memory";
        }
        codec_->width = ScreenWidth * scale_;
        codec_->height = ScreenHeight * scale_;
        codec_->pix_fmt = AV_PIX_FMT_PAL8;
        codec_->time_base = AVRational{1, 100};
        if (const int code = avcodec_open2(codec_.get(), codec, nullptr); code < 0) {
            return check(code, "cannot encode");
        }
        stream_->time_base = codec_->time_base;
        if (const int code = avcodec_parameters_from_context(stream_->codecpar, codec_.get()); code < 0) {
            return check(code, "cannot encode");
        }
        // -1: no loop extension, so the GIF plays once and keeps its last frame.
        av_opt_set_int(format_->priv_data, "loop", loops ? 0 : -1, 0);
        av_opt_set_int(format_->priv_data, "final_delay", lastDelay, 0);
        if (const int code = avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE); code < 0) {
            return check(code, "cannot create");
        }
        opened_ = true;
        if (const int code = avformat_write_header(format_.get(), nullptr); code < 0) {
            return check(code, "cannot write");
        }

        frame_->format = AV_PIX_FMT_PAL8;
        frame_->width = codec_->width;
        frame_->height = codec_->height;
        if (const int code = av_frame_get_buffer(frame_.get(), 0); code < 0) {
            return check(code, "cannot encode");
        }
        return {};
    }

    // One frame at `pts` (1/100 s), or the encoder's end when null.
    std::string encode(const Screen* screen, std::int64_t pts)
    {
        if (screen != nullptr) {
            if (const int code = av_frame_make_writable(frame_.get()); code < 0) {
                return check(code, "cannot encode");
            }
            paint(*screen);
            frame_->pts = pts;
        }
        if (const int code = avcodec_send_frame(codec_.get(), screen != nullptr ? frame_.get() : nullptr); code < 0) {
            return check(code, "cannot encode");
        }
        for (;;) {
            const int code = avcodec_receive_packet(codec_.get(), packet_.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) {
                return {};
            }
            if (code < 0) {
                return check(code, "cannot encode");
            }
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (const int written = av_write_frame(format_.get(), packet_.get()); written < 0) {
                return check(written, "cannot write");
            }
            av_packet_unref(packet_.get());
        }
    }

    void paint(const Screen& screen)
    {
        // Index 0 the background, 1 a dark pixel; the palette is 0xAARRGGBB.
        auto* palette = reinterpret_cast<std::uint32_t*>(frame_->data[1]);
        std::fill_n(palette, 256, 0xFF000000u);
        palette[0] = 0xFF000000u | (scale_ == 1 ? 0xFFFFFFu : LcdBackground);
        palette[1] = 0xFF000000u | (scale_ == 1 ? 0x000000u : LcdInk);
        for (int y = 0; y < frame_->height; ++y) {
            std::uint8_t* row = frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0];
            for (int x = 0; x < frame_->width; ++x) {
                row[x] = darkPixel(screen, x / scale_, y / scale_) ? 1 : 0;
            }
        }
    }

    std::string path_;
    int scale_;
    std::int64_t sizeLimit_;
    bool opened_ = false;
    OutputContextPtr format_;
    CodecContextPtr codec_;
    FramePtr frame_;
    PacketPtr packet_;
    AVStream* stream_ = nullptr;
};

}  // namespace

std::vector<std::int64_t> gifTimeline(const Recording& recording)
{
    std::vector<std::int64_t> timeline;
    if (recording.frames.empty()) {
        return timeline;
    }
    const std::uint64_t first = recording.frames.front().tstates;
    const auto centiseconds = [first](std::uint64_t tstates) {
        constexpr std::uint64_t perCentisecond = calc::CpuHz / 100;
        return static_cast<std::int64_t>((tstates - first + perCentisecond / 2) / perCentisecond);
    };
    for (const RecordedFrame& frame : recording.frames) {
        timeline.push_back(centiseconds(frame.tstates));
    }
    timeline.push_back(centiseconds(recording.endTStates));
    // Every frame stays at least 1/100 s: the GIF cannot show it shorter.
    for (std::size_t i = 1; i < timeline.size(); ++i) {
        timeline[i] = std::max(timeline[i], timeline[i - 1] + 1);
    }
    return timeline;
}

std::string writePlaybackGif(const std::string& path, const Recording& recording, int scale, std::int64_t sizeLimit)
{
    if (const std::string problem = recording.problem(); !problem.empty()) {
        return problem;
    }
    if (scale < 1 || scale > MaximumGifScale) {
        return "the scale must be 1 to " + std::to_string(MaximumGifScale);
    }
    return GifWriter(path, scale, sizeLimit).write(recording);
}

}  // namespace zoetra::media
