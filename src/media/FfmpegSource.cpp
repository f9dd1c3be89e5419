#include "media/FfmpegSource.h"

extern "C" {
#include <libavutil/display.h>
}

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace zoetra::media {

namespace {

// Codecs that turn any text file into "video": FFmpeg recognises text art
// by the file's name alone.
bool isTextArt(AVCodecID codec)
{
    return codec == AV_CODEC_ID_ANSI || codec == AV_CODEC_ID_BINTEXT || codec == AV_CODEC_ID_XBIN ||
           codec == AV_CODEC_ID_IDF;
}

bool isStillPicture(const AVFormatContext& format)
{
    const QByteArray name = format.iformat->name;
    return name == "image2" || name.endsWith("_pipe");
}

QString codecName(AVCodecID codec)
{
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec);
    if (desc && desc->long_name) {
        return QString::fromUtf8(desc->long_name);
    }
    return QString::fromUtf8(avcodec_get_name(codec));
}

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

// A forward jump this long in a container whose timestamps may restart is
// a seam between two joined parts, not a pause (as the ffmpeg command
// takes it).
constexpr double DiscontinuityThreshold = 10.0;

// The display matrix (3 x 3, 16.16 fixed point, row vectors as in the MP4
// format) as a transform of y-down picture coordinates, snapped to quarter
// turns and mirrors; the identity for any other angle or none.
QTransform orientationOf(const int32_t* matrix)
{
    if (!matrix) {
        return {};
    }
    const auto unit = [](int32_t v) { return static_cast<int>(std::lround(static_cast<double>(v) / 65536.0)); };
    const int a = unit(matrix[0]);
    const int b = unit(matrix[1]);
    const int c = unit(matrix[3]);
    const int d = unit(matrix[4]);
    const bool quarterTurns = std::abs(a) + std::abs(b) == 1 && std::abs(c) + std::abs(d) == 1 && a * c + b * d == 0;
    if (!quarterTurns) {
        return {};
    }
    return QTransform(a, b, c, d, 0, 0);
}

const int32_t* streamDisplayMatrix(const AVStream& stream)
{
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
    const AVPacketSideData* data = av_packet_side_data_get(stream.codecpar->coded_side_data,
                                                           stream.codecpar->nb_coded_side_data,
                                                           AV_PKT_DATA_DISPLAYMATRIX);
    return data && data->size >= 9 * 4 ? reinterpret_cast<const int32_t*>(data->data) : nullptr;
#else
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data && size >= 9 * 4 ? reinterpret_cast<const int32_t*>(data) : nullptr;
#endif
}

// The name of the format a file's first bytes show it to be, when FFmpeg
// recognises them.
QString recognisedFormat(const QByteArray& url)
{
    AVIOContext* io = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avio_open2(&io, url.constData(), AVIO_FLAG_READ, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        return {};
    }
    const AVInputFormat* format = nullptr;
    QString name;
    // By its content, not by its name's ending alone.
    if (av_probe_input_buffer2(io, &format, url.constData(), nullptr, 0, 0) > AVPROBE_SCORE_EXTENSION && format) {
        name = QString::fromUtf8(format->long_name ? format->long_name : format->name);
    }
    avio_closep(&io);
    return name;
}

}  // namespace

QString pictureSizeProblem(const QString& name, int width, int height)
{
    if (width > MaxSourceSide || height > MaxSourceSide) {
        return QStringLiteral("%1 is %2 \u00D7 %3 pixels; pictures up to %4 pixels a side can be imported.")
            .arg(name)
            .arg(width)
            .arg(height)
            .arg(MaxSourceSide);
    }
    if (static_cast<long long>(width) * height > MaxSourcePixels) {
        return QStringLiteral("%1 is %2 \u00D7 %3 pixels; pictures up to %4 million pixels can be imported.")
            .arg(name)
            .arg(width)
            .arg(height)
            .arg(MaxSourcePixels / 1'000'000);
    }
    return {};
}

int FfmpegSource::interrupted(void* source)
{
    const std::atomic<bool>* cancel = static_cast<const FfmpegSource*>(source)->cancel_;
    return cancel && cancel->load(std::memory_order_relaxed) ? 1 : 0;
}

FfmpegSource::~FfmpegSource() = default;

std::unique_ptr<FfmpegSource> FfmpegSource::open(const QString& path, QString& message,
                                                 const std::atomic<bool>* cancel)
{
    quietFfmpegLog();
    std::unique_ptr<FfmpegSource> source(new FfmpegSource);
    source->cancel_ = cancel;
    source->name_ = QFileInfo(path).fileName();
    const QString name = quoted(source->name_);

    // "file:" so that no name is taken for another protocol, and only files
    // may be opened, also by a playlist inside the file; a name with % is
    // one picture, not a numbered sequence.
    AVDictionary* rawOptions = nullptr;
    av_dict_set(&rawOptions, "protocol_whitelist", "file", 0);
    av_dict_set(&rawOptions, "pattern_type", "none", 0);
    std::unique_ptr<AVDictionary, DictionaryFreer> options(rawOptions);
    const QByteArray url = "file:" + QDir::toNativeSeparators(path).toUtf8();
    AVFormatContext* rawFormat = avformat_alloc_context();
    if (!rawFormat) {
        message = QStringLiteral("%1 could not be read (%2).").arg(name, ffmpegError(AVERROR(ENOMEM)));
        return nullptr;
    }
    rawFormat->interrupt_callback = {&FfmpegSource::interrupted, source.get()};
    rawOptions = options.release();
    int status = avformat_open_input(&rawFormat, url.constData(), nullptr, &rawOptions);
    options.reset(rawOptions);
    if (status < 0) {
        if (status == AVERROR_EXIT) {
            message = QStringLiteral("The import was cancelled.");
            return nullptr;
        }
        // A file of a known kind that cannot be opened is damaged or cut
        // short (an MP4 whose index at its end is missing).
        const QString kind = status == AVERROR_INVALIDDATA ? recognisedFormat(url) : QString();
        if (!kind.isEmpty()) {
            message = QStringLiteral("%1 is a damaged %2 file, or it ended early (%3).")
                          .arg(name, kind, ffmpegError(status));
        } else {
            message = QStringLiteral("%1 is not a video or picture file that can be read (%2).")
                          .arg(name, ffmpegError(status));
        }
        return nullptr;
    }
    source->format_.reset(rawFormat);
    AVFormatContext* format = source->format_.get();
    status = avformat_find_stream_info(format, nullptr);
    if (status < 0) {
        message = QStringLiteral("%1 is not a video or picture file that can be read (%2).")
                      .arg(name, ffmpegError(status));
        return nullptr;
    }

    const AVCodec* decoder = nullptr;
    status = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (status == AVERROR_STREAM_NOT_FOUND) {
        if (format->nb_streams == 0) {
            message = QStringLiteral("%1 is not a video or picture file that can be read.").arg(name);
        } else {
            message = QStringLiteral("%1 holds no video.").arg(name);
        }
        return nullptr;
    }
    if (status < 0 && status != AVERROR_DECODER_NOT_FOUND) {
        message = QStringLiteral("%1 could not be read (%2).").arg(name, ffmpegError(status));
        return nullptr;
    }
    if (status == AVERROR_DECODER_NOT_FOUND) {
        // Which stream it would have been: the first video stream.
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                status = static_cast<int>(i);
                break;
            }
        }
        const AVCodecID id = format->streams[status]->codecpar->codec_id;
        if (isTextArt(id)) {
            message = QStringLiteral("%1 is not a video or picture file that can be read.").arg(name);
        } else {
            message = QStringLiteral("%1 is coded in %2, which cannot be decoded here.").arg(name, codecName(id));
        }
        return nullptr;
    }
    source->stream_ = status;
    AVStream* stream = format->streams[status];
    const AVCodecParameters* par = stream->codecpar;
    if (isTextArt(par->codec_id)) {
        message = QStringLiteral("%1 is not a video or picture file that can be read.").arg(name);
        return nullptr;
    }
    if (const QString tooLarge = pictureSizeProblem(name, par->width, par->height); !tooLarge.isEmpty()) {
        message = tooLarge;
        return nullptr;
    }
    // Only the video stream is demuxed.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard = static_cast<int>(i) == status ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    source->codec_.reset(avcodec_alloc_context3(decoder));
    AVCodecContext* codec = source->codec_.get();
    source->packet_.reset(av_packet_alloc());
    source->primed_.reset(av_frame_alloc());
    if (!codec || !source->packet_ || !source->primed_) {
        message = QStringLiteral("%1 could not be read (%2).").arg(name, ffmpegError(AVERROR(ENOMEM)));
        return nullptr;
    }
    status = avcodec_parameters_to_context(codec, par);
    if (status >= 0) {
        codec->pkt_timebase = stream->time_base;
        codec->thread_count = 0;  // one per core
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        // A picture past the limit fails in the decoder, before its memory
        // is taken.
        codec->max_pixels = MaxSourcePixels;
        status = avcodec_open2(codec, decoder, nullptr);
    }
    if (status < 0) {
        message = QStringLiteral("%1 is coded in %2, which cannot be decoded here (%3).")
                      .arg(name, codecName(par->codec_id), ffmpegError(status));
        return nullptr;
    }

    // The clip's information.
    ClipInfo& info = source->info_;
    info.kind = isStillPicture(*format) ? ClipInfo::Kind::Picture : ClipInfo::Kind::Video;
    const AVRational aspect = av_guess_sample_aspect_ratio(format, stream, nullptr);
    source->pixelAspect_ = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
    source->orientation_ = orientationOf(streamDisplayMatrix(*stream));
    source->discontinuous_ = (format->iformat->flags & AVFMT_TS_DISCONT) != 0;
    const AVRational rate = av_guess_frame_rate(format, stream, nullptr);
    if (rate.num > 0 && rate.den > 0) {
        info.frameRate = av_q2d(rate);
        source->frameInterval_ = 1.0 / *info.frameRate;
    }
    if (stream->duration > 0) {
        info.duration = stream->duration * av_q2d(stream->time_base);
    } else if (format->duration > 0) {
        info.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
    }
    if (stream->nb_frames > 0 && info.kind != ClipInfo::Kind::Picture) {
        info.pictureCount = static_cast<int>(stream->nb_frames);
    }
    info.format = QStringLiteral("%1 in %2").arg(codecName(par->codec_id),
                                                 QString::fromUtf8(format->iformat->long_name ? format->iformat->long_name
                                                                                              : format->iformat->name));
    source->origin_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

    // The first frame: a file whose pictures FFmpeg cannot decode fails now.
    if (!source->decode(source->primed_.get())) {
        QString why = !source->problem_.isEmpty() ? source->problem_ : source->damage_;
        message = QStringLiteral("%1 could not be decoded (%2).")
                      .arg(name, why.isEmpty() ? QStringLiteral("no picture in it") : why);
        return nullptr;
    }
    const AVFrame* first = source->primed_.get();
    if (const QString tooLarge = pictureSizeProblem(name, first->width, first->height); !tooLarge.isEmpty()) {
        message = tooLarge;
        return nullptr;
    }
    // As shown: a quarter turn swaps the sides and the pixels' shape.
    const bool turned = source->orientation_.m11() == 0.0;
    info.width = turned ? first->height : first->width;
    info.height = turned ? first->width : first->height;
    info.pixelAspect = turned ? 1.0 / source->pixelAspect_ : source->pixelAspect_;
    if (stream->start_time == AV_NOPTS_VALUE && first->best_effort_timestamp != AV_NOPTS_VALUE) {
        source->origin_ = first->best_effort_timestamp;
    }
    return source;
}

bool FfmpegSource::decode(AVFrame* frame)
{
    AVFormatContext* format = format_.get();
    AVCodecContext* codec = codec_.get();
    // A decoder that fails over and over is given up: the file is broken.
    constexpr int MaxDamagedInARow = 1000;
    int damagedInARow = 0;
    for (;;) {
        const int received = avcodec_receive_frame(codec, frame);
        if (received >= 0) {
            return true;
        }
        if (received == AVERROR_EOF) {
            finished_ = true;
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            // A damaged picture: the decoder goes on with the next packet.
            damage_ = ffmpegError(received);
            if (++damagedInARow > MaxDamagedInARow) {
                problem_ = damage_;
                finished_ = true;
                return false;
            }
            continue;
        }
        if (draining_) {
            finished_ = true;
            return false;
        }
        const int read = av_read_frame(format, packet_.get());
        if (read == AVERROR_EXIT) {
            problem_ = QStringLiteral("cancelled");
            finished_ = true;
            return false;
        }
        if (read < 0) {
            if (read != AVERROR_EOF) {
                problem_ = ffmpegError(read);
            }
            draining_ = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        if (packet_->stream_index == stream_) {
            const int sent = avcodec_send_packet(codec, packet_.get());
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                damage_ = ffmpegError(sent);
                ++damagedInARow;
            }
        }
        av_packet_unref(packet_.get());
    }
}

double FfmpegSource::originSeconds() const
{
    return static_cast<double>(origin_) * av_q2d(format_->streams[stream_]->time_base);
}

double FfmpegSource::secondsOf(int64_t timestamp) const
{
    return static_cast<double>(timestamp - origin_) * av_q2d(format_->streams[stream_]->time_base);
}

void FfmpegSource::start(double seconds, double)
{
    if (seconds <= 0.0 || info_.kind == ClipInfo::Kind::Picture) {
        return;
    }
    const AVStream* stream = format_->streams[stream_];
    const auto target = origin_ + static_cast<int64_t>(std::floor(seconds / av_q2d(stream->time_base)));
    if (av_seek_frame(format_.get(), stream_, target, AVSEEK_FLAG_BACKWARD) >= 0) {
        // Decoding starts again at a key frame before the start.
        avcodec_flush_buffers(codec_.get());
        av_frame_unref(primed_.get());
        draining_ = false;
        finished_ = false;
        problem_.clear();
    }
    // Where seeking fails, the frames before the start are decoded and
    // passed over.
}

FrameSource::Read FfmpegSource::next(SourceFrame& frame)
{
    FramePtr decoded;
    if (primed_ && primed_->buf[0]) {
        decoded = std::move(primed_);
    } else {
        decoded.reset(av_frame_alloc());
        if (!decoded) {
            problem_ = ffmpegError(AVERROR(ENOMEM));
            return Read::Failed;
        }
        if (finished_ || !decode(decoded.get())) {
            return problem_.isEmpty() ? Read::End : Read::Failed;
        }
    }
    if (!pictureSizeProblem({}, decoded->width, decoded->height).isEmpty()) {
        problem_ = QStringLiteral("a picture of %1 \u00D7 %2 pixels").arg(decoded->width).arg(decoded->height);
        return Read::Failed;
    }

    frame.time = timeOf(*decoded);
    frame.duration.reset();
    const double duration = static_cast<double>(decoded->pkt_duration) * av_q2d(format_->streams[stream_]->time_base);
    if (duration > 0.0) {
        frame.duration = duration;
    } else if (frameInterval_ > 0.0) {
        frame.duration = frameInterval_;
    }
    frame.decoded = std::move(decoded);
    frame.picture = QImage();
    frame.screen = QImage();
    frame.pixelAspect = pixelAspect_;
    frame.orientation = orientation_;
    return Read::Frame;
}

double FfmpegSource::timeOf(const AVFrame& decoded)
{
    if (decoded.best_effort_timestamp == AV_NOPTS_VALUE) {
        // A raw stream: the frames follow each other at the frame rate from 0.
        const double time = lastTime_ ? *lastTime_ + frameInterval_ : 0.0;
        lastTime_ = time;
        return time;
    }
    double time = secondsOf(decoded.best_effort_timestamp) + timeShift_;
    const double step = frameInterval_ > 0.0 ? frameInterval_ : 0.1;
    if (lastTime_ && discontinuous_ &&
        (time < *lastTime_ - step || time > *lastTime_ + std::max(DiscontinuityThreshold, 2 * step))) {
        // Parts joined end to end: the next part goes on one frame later.
        const double resumed = *lastTime_ + step;
        timeShift_ += resumed - time;
        time = resumed;
    }
    if (lastTime_ && time < *lastTime_) {
        time = *lastTime_;  // a stray timestamp never runs the clip backwards
    }
    lastTime_ = time;
    return time;
}

std::optional<double> FfmpegSource::position() const
{
    AVIOContext* io = format_->pb;
    if (!io) {
        return std::nullopt;
    }
    const int64_t size = avio_size(io);
    if (size <= 0) {
        return std::nullopt;
    }
    return std::clamp(static_cast<double>(avio_tell(io)) / static_cast<double>(size), 0.0, 1.0);
}

}  // namespace zoetra::media
