#include "media/PlaybackMedia.h"

#include "calc/Timing.h"
#include "media/Ffmpeg.h"
#include "shared/LineSound.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <QString>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace zoetra::media {

namespace {

using calc::ClockHz;
using calc::Recording;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The recording's sound, a piece at a time: every change of the lines up to
// where the next samples need them.
class RecordingSound {
public:
    RecordingSound(const Recording& recording, int sampleRate)
        : read_(recording.lineEdges.reader()),
          rate_(static_cast<std::uint64_t>(sampleRate)),
          start_(recording.startClock()),
          end_(recording.endClock()),
          edge_(read_.next())
    {
        std::uint8_t held = 0;
        for (; edge_ && edge_->clock < start_; edge_ = read_.next()) {
            held = edge_->held;
        }
        sound_.emplace(ClockHz, sampleRate, start_, held);
    }

    // The next `count` samples, fewer at the end.
    std::vector<float> take(std::size_t count)
    {
        while (buffer_.size() < count && !finished_) {
            // The clock by which every sample wanted has seen all it needs.
            const std::uint64_t wanted = sound_->rendered() + count - buffer_.size() + LineSound::HalfWidth + 1;
            const std::uint64_t by = start_ + (wanted * ClockHz + rate_ - 1) / rate_;
            if (edge_ && edge_->clock < end_ && edge_->clock <= by) {
                sound_->add(*edge_);
                sound_->renderUntil(edge_->clock, buffer_);
                edge_ = read_.next();
            } else if (by < end_) {
                sound_->renderUntil(by, buffer_);
            } else {
                sound_->finish(end_, buffer_);
                finished_ = true;
            }
        }
        const auto n = std::min(count, buffer_.size());
        std::vector<float> taken(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
        return taken;
    }

private:
    LineEdges::Reader read_;
    std::uint64_t rate_;
    std::uint64_t start_;
    std::uint64_t end_;
    std::optional<LineEdge> edge_;
    std::optional<LineSound> sound_;
    std::vector<float> buffer_;
    bool finished_ = false;
};

// One encoder and its stream in the output.
struct Track {
    const AVCodec* codec = nullptr;
    CodecContextPtr context;
    AVStream* stream = nullptr;
    FramePtr frame;
};

class MediaWriter {
public:
    MediaWriter(const std::string& path, const std::string& named, std::int64_t sizeLimit)
        : path_(path), named_(named.empty() ? path : named), sizeLimit_(sizeLimit)
    {
    }

    std::string write(const Recording& recording, bool video, int scale)
    {
        std::string problem = open(recording, video, scale);
        if (problem.empty()) {
            problem = video ? writeFrames(recording) : writeSound(std::nullopt);
        }
        if (problem.empty()) {
            problem = flush(audio_);
        }
        if (problem.empty() && video) {
            problem = flush(video_);
        }
        return finishOutput(format_.get(), path_, opened_, std::move(problem));
    }

private:
    std::string check(int code, const char* what) const { return outputProblem(code, what, path_); }

    std::string open(const Recording& recording, bool video, int scale)
    {
        // The encoders' own chatter stays off the terminal; errors come back as codes.
        quietFfmpegLog();
        AVFormatContext* format = nullptr;
        if (const int code = avformat_alloc_output_context2(&format, nullptr, nullptr, named_.c_str()); code < 0) {
            return check(code, "cannot write");
        }
        format_.reset(format);
        packet_.reset(av_packet_alloc());
        if (!packet_) {
            return "out of memory";
        }
        if (video) {
            if (std::string problem = openVideo(scale); !problem.empty()) {
                return problem;
            }
        }
        if (std::string problem = openAudio(); !problem.empty()) {
            return problem;
        }
        if (const int code = avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE); code < 0) {
            return check(code, "cannot create");
        }
        opened_ = true;
        if (const int code = avformat_write_header(format_.get(), nullptr); code < 0) {
            return check(code, "cannot write");
        }
        sound_.emplace(recording, audio_.context->sample_rate);
        return {};
    }

    std::string addTrack(Track& track, AVCodecID id, const char* kind)
    {
        track.codec = avcodec_find_encoder(id);
        if (track.codec == nullptr) {
            return std::string("this FFmpeg has no ") + kind + " encoder for " + path_;
        }
        track.context.reset(avcodec_alloc_context3(track.codec));
        track.stream = avformat_new_stream(format_.get(), nullptr);
        track.frame.reset(av_frame_alloc());
        if (!track.context || track.stream == nullptr || !track.frame) {
            return "out of memory";
        }
        if ((format_->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            track.context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        return {};
    }

    std::string finishTrack(Track& track, AVDictionary* options)
    {
        const int code = avcodec_open2(track.context.get(), track.codec, &options);
        av_dict_free(&options);
        if (code < 0) {
            return check(code, "cannot encode");
        }
        track.stream->time_base = track.context->time_base;
        return check(avcodec_parameters_from_context(track.stream->codecpar, track.context.get()), "cannot encode");
    }

    std::string openVideo(int scale)
    {
        if (std::string problem = addTrack(video_, format_->oformat->video_codec, "video"); !problem.empty()) {
            return problem;
        }
        AVCodecContext* c = video_.context.get();
        c->width = calc::ScreenWidth * scale;
        c->height = calc::ScreenHeight * scale;
        c->pix_fmt = video_.codec->pix_fmts != nullptr ? video_.codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{1, 1000};
        c->gop_size = 250;
        AVDictionary* options = nullptr;
        if (video_.codec->id == AV_CODEC_ID_H264) {
            av_dict_set(&options, "preset", "medium", 0);
            av_dict_set(&options, "crf", "20", 0);
        } else if (video_.codec->id == AV_CODEC_ID_VP9 || video_.codec->id == AV_CODEC_ID_VP8) {
            av_dict_set(&options, "crf", "24", 0);
            av_dict_set(&options, "b", "0", 0);
            av_dict_set(&options, "deadline", "good", 0);
            av_dict_set(&options, "cpu-used", "4", 0);
        }
        if (std::string problem = finishTrack(video_, options); !problem.empty()) {
            return problem;
        }
        scale_ = scale;
        picture_.resize(static_cast<std::size_t>(c->width) * static_cast<std::size_t>(c->height) * 3);
        scaler_.reset(sws_getContext(c->width, c->height, AV_PIX_FMT_RGB24, c->width, c->height, c->pix_fmt,
                                     SWS_POINT, nullptr, nullptr, nullptr));
        AVFrame* frame = video_.frame.get();
        frame->format = c->pix_fmt;
        frame->width = c->width;
        frame->height = c->height;
        if (!scaler_) {
            return "cannot convert the pictures for " + path_;
        }
        return check(av_frame_get_buffer(frame, 0), "cannot encode");
    }

    std::string openAudio()
    {
        const AVCodecID id =
            previewKind(named_) == PreviewKind::Sound ? AV_CODEC_ID_PCM_S16LE : format_->oformat->audio_codec;
        if (std::string problem = addTrack(audio_, id, "sound"); !problem.empty()) {
            return problem;
        }
        AVCodecContext* c = audio_.context.get();
        const AVSampleFormat formats[] = {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P};
        c->sample_fmt = AV_SAMPLE_FMT_NONE;
        for (const AVSampleFormat* offered = audio_.codec->sample_fmts;
             offered != nullptr && *offered != AV_SAMPLE_FMT_NONE && c->sample_fmt == AV_SAMPLE_FMT_NONE; ++offered) {
            if (std::find(std::begin(formats), std::end(formats), *offered) != std::end(formats)) {
                c->sample_fmt = *offered;
            }
        }
        if (c->sample_fmt == AV_SAMPLE_FMT_NONE) {
            return "the sound encoder for " + path_ + " takes no sample format this program makes";
        }
        c->sample_rate = SoundSampleRate;
        if (const int* rates = audio_.codec->supported_samplerates; rates != nullptr) {
            c->sample_rate = rates[0];
            for (const int* r = rates; *r != 0; ++r) {
                if (*r == SoundSampleRate || (*r == 48'000 && c->sample_rate != SoundSampleRate)) {
                    c->sample_rate = *r;
                }
            }
        }
        av_channel_layout_default(&c->ch_layout, 1);
        c->time_base = AVRational{1, c->sample_rate};
        c->bit_rate = 128'000;
        if (std::string problem = finishTrack(audio_, nullptr); !problem.empty()) {
            return problem;
        }
        const bool anySize = c->frame_size == 0 || (audio_.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
        samplesPerFrame_ = anySize ? 1024 : c->frame_size;
        AVFrame* frame = audio_.frame.get();
        frame->format = c->sample_fmt;
        frame->sample_rate = c->sample_rate;
        frame->nb_samples = samplesPerFrame_;
        if (const int code = av_channel_layout_copy(&frame->ch_layout, &c->ch_layout); code < 0) {
            return check(code, "cannot encode");
        }
        return check(av_frame_get_buffer(frame, 0), "cannot encode");
    }

    // The sound up to `untilMs` (from the first frame), in whole frames;
    // all of it without.
    std::string writeSound(std::optional<std::int64_t> untilMs)
    {
        AVCodecContext* c = audio_.context.get();
        while (!soundDone_ && (!untilMs || soundPts_ * 1000 < *untilMs * c->sample_rate)) {
            const std::vector<float> samples = sound_->take(static_cast<std::size_t>(samplesPerFrame_));
            if (samples.empty()) {
                soundDone_ = true;
                break;
            }
            AVFrame* frame = audio_.frame.get();
            if (const int code = av_frame_make_writable(frame); code < 0) {
                return check(code, "cannot encode");
            }
            // A short last frame is padded with silence where the encoder
            // takes only whole frames.
            const bool anySize = samplesPerFrame_ != c->frame_size;
            const int n = anySize ? static_cast<int>(samples.size()) : samplesPerFrame_;
            frame->nb_samples = n;
            for (int i = 0; i < n; ++i) {
                const float value = static_cast<std::size_t>(i) < samples.size() ? samples[static_cast<std::size_t>(i)] : 0.0f;
                if (c->sample_fmt == AV_SAMPLE_FMT_FLTP || c->sample_fmt == AV_SAMPLE_FMT_FLT) {
                    reinterpret_cast<float*>(frame->data[0])[i] = value;
                } else {
                    reinterpret_cast<std::int16_t*>(frame->data[0])[i] =
                        static_cast<std::int16_t>(std::lround(static_cast<double>(value) * 32767.0));
                }
            }
            frame->pts = soundPts_;
            soundPts_ += n;
            if (std::string problem = encode(audio_, frame); !problem.empty()) {
                return problem;
            }
            soundDone_ = samples.size() < static_cast<std::size_t>(samplesPerFrame_);
        }
        return {};
    }

    std::string writeFrames(const Recording& recording)
    {
        const std::uint64_t first = recording.frames.front().tstates;
        const auto ms = [first](std::uint64_t tstates) {
            return static_cast<std::int64_t>((tstates - first) * 1000 / calc::CpuHz);
        };
        std::int64_t last = -1;
        for (std::size_t i = 0; i < recording.frames.size(); ++i) {
            const std::int64_t at = ms(recording.frames[i].tstates);
            // Two frames in one millisecond: the later one is what stays.
            if (i + 1 < recording.frames.size() && ms(recording.frames[i + 1].tstates) == at) {
                continue;
            }
            if (std::string problem = picture(recording.frames[i].pixels, at); !problem.empty()) {
                return problem;
            }
            last = at;
        }
        // The last picture stays to the end, where the sound ends.
        if (const std::int64_t end = ms(recording.endTStates); end > last) {
            if (std::string problem = picture(recording.frames.back().pixels, end); !problem.empty()) {
                return problem;
            }
        }
        return writeSound(std::nullopt);
    }

    std::string picture(const calc::Screen& screen, std::int64_t ms)
    {
        if (std::string problem = writeSound(ms); !problem.empty()) {
            return problem;
        }
        const std::uint32_t background = scale_ == 1 ? 0xFFFFFFu : calc::LcdBackground;
        const std::uint32_t ink = scale_ == 1 ? 0x000000u : calc::LcdInk;
        const int width = video_.context->width;
        for (int y = 0; y < video_.context->height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = calc::darkPixel(screen, x / scale_, y / scale_) ? ink : background;
                std::uint8_t* pixel = &picture_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                                 static_cast<std::size_t>(x)) * 3];
                pixel[0] = static_cast<std::uint8_t>(colour >> 16);
                pixel[1] = static_cast<std::uint8_t>(colour >> 8);
                pixel[2] = static_cast<std::uint8_t>(colour);
            }
        }
        AVFrame* frame = video_.frame.get();
        if (const int code = av_frame_make_writable(frame); code < 0) {
            return check(code, "cannot encode");
        }
        const std::uint8_t* source[] = {picture_.data()};
        const int stride[] = {width * 3};
        sws_scale(scaler_.get(), source, stride, 0, video_.context->height, frame->data, frame->linesize);
        frame->pts = ms;
        return encode(video_, frame);
    }

    std::string flush(Track& track) { return encode(track, nullptr); }

    std::string encode(Track& track, AVFrame* frame)
    {
        if (const int code = avcodec_send_frame(track.context.get(), frame); code < 0) {
            return check(code, "cannot encode");
        }
        for (;;) {
            const int code = avcodec_receive_packet(track.context.get(), packet_.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) {
                return {};
            }
            if (code < 0) {
                return check(code, "cannot encode");
            }
            av_packet_rescale_ts(packet_.get(), track.context->time_base, track.stream->time_base);
            packet_->stream_index = track.stream->index;
            if (const int written = av_interleaved_write_frame(format_.get(), packet_.get()); written < 0) {
                return check(written, "cannot write");
            }
            if (avio_tell(format_->pb) > sizeLimit_) {
                return "the file grew past " + std::to_string(sizeLimit_ / (1024 * 1024)) +
                       " MB, so it was stopped and removed";
            }
        }
    }

    std::string path_;
    std::string named_;
    std::int64_t sizeLimit_;
    bool opened_ = false;
    OutputContextPtr format_;
    PacketPtr packet_;
    Track video_;
    Track audio_;
    int scale_ = 1;
    std::vector<std::uint8_t> picture_;
    ScaleContextPtr scaler_;
    std::optional<RecordingSound> sound_;
    int samplesPerFrame_ = 1024;
    std::int64_t soundPts_ = 0;
    bool soundDone_ = false;
};

}  // namespace

PreviewKind previewKind(const std::string& path)
{
    const std::string name = lower(path);
    const auto endsWith = [&name](const char* ending) {
        const std::string e(ending);
        return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
    };
    if (endsWith(".wav")) {
        return PreviewKind::Sound;
    }
    if (endsWith(".mp4") || endsWith(".mkv") || endsWith(".webm")) {
        return PreviewKind::Video;
    }
    return PreviewKind::Gif;
}

std::vector<float> recordingSound(const Recording& recording, int sampleRate)
{
    return renderLineSound(recording.lineEdges, recording.startClock(), recording.endClock(), ClockHz, sampleRate);
}

std::string writePlaybackSound(const std::string& path, const Recording& recording, const std::string& named,
                               std::int64_t sizeLimit)
{
    if (const std::string problem = recording.problem(); !problem.empty()) {
        return problem;
    }
    return MediaWriter(path, named, sizeLimit).write(recording, false, 1);
}

std::string writePlaybackVideo(const std::string& path, const Recording& recording, int scale, const std::string& named,
                               std::int64_t sizeLimit)
{
    if (const std::string problem = recording.problem(); !problem.empty()) {
        return problem;
    }
    if (scale < 1 || scale > 10) {
        return "the scale must be 1 to 10";
    }
    return MediaWriter(path, named, sizeLimit).write(recording, true, scale);
}

}  // namespace zoetra::media
