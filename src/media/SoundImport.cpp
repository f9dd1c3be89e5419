#include "media/SoundImport.h"

#include "media/Ffmpeg.h"
#include "shared/FolderSound.h"
#include "shared/Text.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace zoetra::media {

namespace {

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

int interrupted(void* flag)
{
    const auto* cancel = static_cast<const std::atomic<bool>*>(flag);
    return cancel && cancel->load(std::memory_order_relaxed) ? 1 : 0;
}

// Mixes and resamples one audio stream's frames to one channel at a rate,
// made again whenever the frames change their shape.
class Mixer {
public:
    explicit Mixer(int rate) : rate_(rate) {}
    ~Mixer() { av_channel_layout_uninit(&layout_); }
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Converts a frame (or, with none, what the resampler still holds) and
    // appends the samples.
    bool convert(const AVFrame* frame, std::vector<float>& out)
    {
        if (frame && !matches(*frame) && !open(*frame)) {
            return false;
        }
        if (!context_) {
            return true;
        }
        const int room = swr_get_out_samples(context_.get(), frame ? frame->nb_samples : 0);
        if (room < 0) {
            return false;
        }
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(room) + 16);
        auto* target = reinterpret_cast<std::uint8_t*>(out.data() + at);
        const int made = swr_convert(context_.get(), &target, room + 16,
                                     frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                     frame ? frame->nb_samples : 0);
        out.resize(at + static_cast<std::size_t>(std::max(made, 0)));
        return made >= 0;
    }

private:
    bool matches(const AVFrame& frame) const
    {
        return context_ && frame.format == format_ && frame.sample_rate == inRate_ &&
               av_channel_layout_compare(&frame.ch_layout, &layout_) == 0;
    }

    bool open(const AVFrame& frame)
    {
        av_channel_layout_uninit(&layout_);
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&layout_, frame.ch_layout.nb_channels);
        } else if (av_channel_layout_copy(&layout_, &frame.ch_layout) < 0) {
            return false;
        }
        format_ = frame.format;
        inRate_ = frame.sample_rate;
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_FLT, rate_, &layout_,
                                static_cast<AVSampleFormat>(format_), inRate_, 0, nullptr) < 0) {
            return false;
        }
        context_.reset(raw);
        return swr_init(raw) >= 0;
    }

    int rate_;
    ResampleContextPtr context_;
    AVChannelLayout layout_{};
    int format_ = -1;
    int inRate_ = 0;
};

}  // namespace

SoundRead readSound(const QString& path, int rate, const SoundSpan& span, const std::atomic<bool>* cancel)
{
    quietFfmpegLog();
    SoundRead result;
    const QString name = quoted(QFileInfo(path).fileName());
    const auto failed = [&](const QString& why) {
        result.status = cancel && cancel->load() ? SoundRead::Status::Cancelled : SoundRead::Status::Failed;
        result.message = QStringLiteral("The sound of %1 could not be read (%2).").arg(name, why);
        return result;
    };
    if (rate <= 0 || !(span.start >= 0.0) || (span.length && !(*span.length >= 0.0))) {
        return failed(QStringLiteral("no part of it was asked for"));
    }

    AVDictionary* rawOptions = nullptr;
    av_dict_set(&rawOptions, "protocol_whitelist", "file", 0);
    av_dict_set(&rawOptions, "pattern_type", "none", 0);
    std::unique_ptr<AVDictionary, DictionaryFreer> options(rawOptions);
    AVFormatContext* rawFormat = avformat_alloc_context();
    if (!rawFormat) {
        return failed(ffmpegError(AVERROR(ENOMEM)));
    }
    rawFormat->interrupt_callback = {&interrupted, const_cast<std::atomic<bool>*>(cancel)};
    const QByteArray url = "file:" + QDir::toNativeSeparators(path).toUtf8();
    rawOptions = options.release();
    int status = avformat_open_input(&rawFormat, url.constData(), nullptr, &rawOptions);
    options.reset(rawOptions);
    if (status < 0) {
        return failed(ffmpegError(status));
    }
    FormatContextPtr format(rawFormat);
    status = avformat_find_stream_info(format.get(), nullptr);
    if (status < 0) {
        return failed(ffmpegError(status));
    }
    int index = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (index < 0 && format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            index = static_cast<int>(i);
        }
        format->streams[i]->discard = AVDISCARD_ALL;
    }
    if (index < 0) {
        result.status = SoundRead::Status::None;
        result.message = QStringLiteral("%1 holds no sound.").arg(name);
        return result;
    }
    AVStream* stream = format->streams[index];
    stream->discard = AVDISCARD_DEFAULT;
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextPtr codec(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    if (!codec) {
        return failed(QStringLiteral("its sound is coded in %1, which cannot be decoded here")
                          .arg(QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id))));
    }
    status = avcodec_parameters_to_context(codec.get(), stream->codecpar);
    if (status >= 0) {
        codec->pkt_timebase = stream->time_base;
        status = avcodec_open2(codec.get(), decoder, nullptr);
    }
    if (status < 0) {
        return failed(ffmpegError(status));
    }

    const double timeBase = av_q2d(stream->time_base);
    const double streamStart = stream->start_time != AV_NOPTS_VALUE ? stream->start_time * timeBase : 0.0;
    const double origin = span.origin.value_or(streamStart);
    const long long wanted = span.length ? std::llround(*span.length * rate) : -1;
    // Where the part starts on the file's clock; decoding starts a second
    // before it, the samples before it are passed over.
    const double from = origin + span.start;
    if (from - 1.0 > streamStart) {
        const auto target = static_cast<int64_t>(std::floor((from - 1.0) / timeBase));
        if (av_seek_frame(format.get(), index, target, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(codec.get());
        }
    }

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        return failed(ffmpegError(AVERROR(ENOMEM)));
    }
    Mixer mixer(rate);
    std::vector<float> converted;
    std::vector<float>& out = result.sound.samples;
    std::optional<long long> cursor;  // the output index of the next converted sample
    bool heard = false;
    const auto place = [&] {
        for (const float sample : converted) {
            if (*cursor >= 0 && (wanted < 0 || *cursor < wanted)) {
                if (static_cast<long long>(out.size()) < *cursor) {
                    out.resize(static_cast<std::size_t>(*cursor), 0.0f);
                }
                if (!heard) {
                    heard = true;
                    result.heardFrom = static_cast<double>(*cursor) / rate;
                }
                out.push_back(std::isfinite(sample) ? std::clamp(sample, -1.0f, 1.0f) : 0.0f);
            }
            ++*cursor;
        }
        converted.clear();
    };
    const auto full = [&] { return wanted >= 0 && cursor && *cursor >= wanted; };
    bool draining = false;
    // A decoder that fails over and over is given up: the file is broken.
    constexpr int MaxDamagedInARow = 1000;
    int damagedInARow = 0;
    QString damage;
    while (!full()) {
        status = avcodec_receive_frame(codec.get(), frame.get());
        if (status >= 0) {
            damagedInARow = 0;
            if (!cursor) {
                const int64_t stamp = frame->best_effort_timestamp;
                const double at = stamp != AV_NOPTS_VALUE ? stamp * timeBase : streamStart;
                cursor = std::llround((at - from) * rate);
            }
            if (!mixer.convert(frame.get(), converted)) {
                return failed(QStringLiteral("its samples could not be converted"));
            }
            place();
            av_frame_unref(frame.get());
            continue;
        }
        if (status == AVERROR_EOF) {
            break;
        }
        if (status != AVERROR(EAGAIN)) {
            damage = ffmpegError(status);  // a damaged packet: the decoder goes on
            if (++damagedInARow > MaxDamagedInARow) {
                break;
            }
            continue;
        }
        if (draining) {
            break;
        }
        status = av_read_frame(format.get(), packet.get());
        if (status == AVERROR_EXIT || (cancel && cancel->load())) {
            result.status = SoundRead::Status::Cancelled;
            return result;
        }
        if (status < 0) {
            draining = true;
            avcodec_send_packet(codec.get(), nullptr);
            continue;
        }
        if (packet->stream_index == index) {
            avcodec_send_packet(codec.get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    if (cursor && !full() && mixer.convert(nullptr, converted)) {
        place();
    }
    if (!heard && !damage.isEmpty()) {
        return failed(damage);
    }
    result.heardUntil = static_cast<double>(out.size()) / rate;
    if (!heard) {
        result.heardFrom = result.heardUntil;
    }
    if (wanted >= 0) {
        out.resize(static_cast<std::size_t>(wanted), 0.0f);
    }
    result.sound.rate = rate;
    result.status = SoundRead::Status::Read;
    return result;
}

SoundRead readFolderSound(const QString& folder, int rate)
{
    const QString path = QDir(folder).filePath(toQString(FolderSoundFileName));
    if (!QFileInfo(path).isFile()) {
        SoundRead none;
        none.status = SoundRead::Status::None;
        none.message = QStringLiteral("The folder has no sound.");
        return none;
    }
    return readSound(path, rate);
}

std::optional<std::vector<float>> folderSoundSamples(const QString& folder, int rate, QString& why)
{
    SoundRead read = readFolderSound(folder, rate);
    if (read.status == SoundRead::Status::Read) {
        return std::move(read.sound.samples);
    }
    why = read.status == SoundRead::Status::None
              ? QStringLiteral("The frames in '%1' have no sound: %2 is made by the import of a video with sound.")
                    .arg(QDir::toNativeSeparators(folder), QString::fromLatin1(FolderSoundFileName.data(),
                                                                               static_cast<qsizetype>(FolderSoundFileName.size())))
              : read.message;
    return std::nullopt;
}

std::vector<float> resampleSound(std::span<const float> samples, int from, int to)
{
    if (from == to || samples.empty()) {
        return std::vector<float>(samples.begin(), samples.end());
    }
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_FLT, to, &mono, AV_SAMPLE_FMT_FLT, from, 0, nullptr) < 0) {
        return {};
    }
    ResampleContextPtr context(raw);
    // A longer filter than the default: what is measured lies close to the
    // new rate's half.
    av_opt_set_int(raw, "filter_size", 64, 0);
    if (swr_init(raw) < 0) {
        return {};
    }
    std::vector<float> out(static_cast<std::size_t>(static_cast<double>(samples.size()) * to / from) + 64);
    const auto* in = reinterpret_cast<const std::uint8_t*>(samples.data());
    auto* target = reinterpret_cast<std::uint8_t*>(out.data());
    const int made = swr_convert(raw, &target, static_cast<int>(out.size()), &in, static_cast<int>(samples.size()));
    if (made < 0) {
        return {};
    }
    auto* rest = reinterpret_cast<std::uint8_t*>(out.data() + made);
    const int flushed = swr_convert(raw, &rest, static_cast<int>(out.size()) - made, nullptr, 0);
    out.resize(static_cast<std::size_t>(made + std::max(flushed, 0)));
    return out;
}

QByteArray waveFile(const Sound& sound)
{
    const auto dataBytes = static_cast<quint32>(sound.samples.size() * 2);
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(44 + dataBytes));
    const auto u32 = [&](quint32 v) {
        char le[4];
        qToLittleEndian(v, le);
        bytes.append(le, 4);
    };
    const auto u16 = [&](quint16 v) {
        char le[2];
        qToLittleEndian(v, le);
        bytes.append(le, 2);
    };
    bytes.append("RIFF", 4);
    u32(36 + dataBytes);
    bytes.append("WAVEfmt ", 8);
    u32(16);
    u16(1);  // PCM
    u16(1);  // one channel
    u32(static_cast<quint32>(sound.rate));
    u32(static_cast<quint32>(sound.rate) * 2);
    u16(2);
    u16(16);
    bytes.append("data", 4);
    u32(dataBytes);
    for (const float sample : sound.samples) {
        const float held = std::isfinite(sample) ? std::clamp(sample, -1.0f, 1.0f) : 0.0f;
        const auto value = static_cast<qint16>(std::lround(held * 32767.0f));
        u16(static_cast<quint16>(value));
    }
    return bytes;
}

}  // namespace zoetra::media
