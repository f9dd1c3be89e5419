#include "app/PreviewSound.h"

#include "calc/Timing.h"

#ifdef ZOETRA_PREVIEW_SOUND
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#endif

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zoetra {

namespace {

// The output's buffer: the sound plays about this far behind the picture.
constexpr int BufferMilliseconds = 120;
// What waits beyond the buffer is dropped past this: the output has stalled.
constexpr int MostWaitingMilliseconds = 1000;

}  // namespace

PreviewSound::PreviewSound()
{
#ifdef ZOETRA_PREVIEW_SOUND
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        problem_ = QStringLiteral("no sound output was found");
        return;
    }
    QAudioFormat format = device.preferredFormat();
    floats_ = format.sampleFormat() == QAudioFormat::Float;
    format.setSampleFormat(floats_ ? QAudioFormat::Float : QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        problem_ = QStringLiteral("the sound output takes no format the preview makes");
        return;
    }
    rate_ = format.sampleRate();
    channels_ = std::max(1, format.channelCount());
    device_ = device.description();
    sink_ = new QAudioSink(device, format);
    sink_->setBufferSize(format.bytesForDuration(BufferMilliseconds * 1000));
#else
    problem_ = QStringLiteral("this build has no Qt Multimedia");
#endif
}

PreviewSound::~PreviewSound()
{
#ifdef ZOETRA_PREVIEW_SOUND
    if (sink_ != nullptr) {
        sink_->stop();
        delete sink_;
    }
#endif
}

QString PreviewSound::status() const
{
    return problem_.isEmpty() ? QStringLiteral("Sound: the link port, through %1.").arg(device_)
                              : QStringLiteral("Sound: none, %1.").arg(problem_);
}

void PreviewSound::restart()
{
    if (!problem_.isEmpty()) {
        return;
    }
    sound_.emplace(calc::ClockHz, rate_);
    waiting_.clear();
#ifdef ZOETRA_PREVIEW_SOUND
    sink_->stop();
    io_ = sink_->start();
#endif
}

void PreviewSound::pause()
{
#ifdef ZOETRA_PREVIEW_SOUND
    if (sink_ != nullptr) {
        sink_->suspend();
    }
#endif
}

void PreviewSound::resume()
{
#ifdef ZOETRA_PREVIEW_SOUND
    if (sink_ != nullptr) {
        sink_->resume();
    }
#endif
}

void PreviewSound::feed(const std::vector<LineEdge>& edges, std::uint64_t clock)
{
    if (!sound_) {
        return;
    }
    samples_.clear();
    for (const LineEdge& edge : edges) {
        sound_->add(edge);
        sound_->renderUntil(edge.clock, samples_);
    }
    sound_->renderUntil(clock, samples_);
    const int bytesPerSample = floats_ ? 4 : 2;
    const qsizetype from = waiting_.size();
    waiting_.resize(from + static_cast<qsizetype>(samples_.size()) * channels_ * bytesPerSample);
    char* out = waiting_.data() + from;
    for (const float sample : samples_) {
        for (int c = 0; c < channels_; ++c) {
            if (floats_) {
                std::memcpy(out, &sample, 4);
            } else {
                const auto value = static_cast<std::int16_t>(std::lround(static_cast<double>(sample) * 32767.0));
                std::memcpy(out, &value, 2);
            }
            out += bytesPerSample;
        }
    }
    push();
}

void PreviewSound::push()
{
    if (io_ == nullptr) {
        return;
    }
    const qint64 taken = io_->write(waiting_);
    waiting_.remove(0, static_cast<qsizetype>(std::max<qint64>(taken, 0)));
    const qsizetype most =
        static_cast<qsizetype>(rate_) * channels_ * (floats_ ? 4 : 2) * MostWaitingMilliseconds / 1000;
    if (waiting_.size() > most) {
        waiting_.remove(0, waiting_.size() - most);
    }
}

}  // namespace zoetra
