#include "media/FrameStream.h"

#include "media/FfmpegSource.h"
#include "media/FrameScaler.h"
#include "media/QtPictureSource.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace zoetra::media {

namespace {

// Timestamps of some containers are rounded to milliseconds: a frame that
// starts within this much after an output time is the one shown then.
constexpr double TimeSlack = 0.001;

// A source that stops this long before its stated end ended early; less
// may be an audio track that runs on a little after the picture.
constexpr double EarlyEndSlack = 0.5;

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

QString rateText(double rate)
{
    return QString::number(rate, 'g', 4);
}

QString countText(long long count)
{
    return QLocale(QLocale::English).toString(count);
}

// What Qt's reader tells of a picture file from its header alone: its size,
// and whether it is to be turned (a photo's orientation tag).
struct PictureHeader {
    QSize size;
    bool turned = false;
};

std::optional<PictureHeader> pictureHeader(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        return std::nullopt;
    }
    return PictureHeader{reader.size(), reader.transformation() != QImageIOHandler::TransformationNone};
}

}  // namespace

QString formatSeconds(double seconds)
{
    const double tenths = std::round(std::max(0.0, seconds) * 10.0);
    const auto total = static_cast<long long>(tenths);
    const long long hours = total / 36000;
    const long long minutes = (total / 600) % 60;
    const double rest = static_cast<double>(total % 600) / 10.0;
    const QString secondsText = QStringLiteral("%1").arg(rest, 4, 'f', 1, QLatin1Char('0'));
    if (hours > 0) {
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(secondsText);
    }
    return QStringLiteral("%1:%2").arg(minutes).arg(secondsText);
}

struct FrameStream::State {
    std::unique_ptr<FrameSource> source;
    FrameScaler scaler;
    QString path;
    QString name;  // for messages
    ImportSettings settings;
    double start = 0.0;
    std::optional<double> end;  // where the stream stops: the asked end or the clip's
    std::optional<double> estimatedEnd;  // the clip's end when the frames may run past it
    bool begun = false;

    int index = 0;  // of the next output frame
    SourceFrame current;
    bool hasCurrent = false;
    SourceFrame ahead;
    bool hasAhead = false;
    bool sourceDone = false;
    bool sourceFailed = false;
    QImage currentScaled;
    double shownUntil = 0.0;  // where the last source frame stops being shown

    bool finished = false;
    bool early = false;
    QString message;

    double outputTime(int k) const { return start + k / settings.framesPerSecond; }

    bool fetch(SourceFrame& frame)
    {
        if (sourceDone) {
            return false;
        }
        switch (source->next(frame)) {
        case FrameSource::Read::Frame: {
            const double interval = 1.0 / settings.framesPerSecond;
            shownUntil = frame.time + frame.duration.value_or(interval);
            return true;
        }
        case FrameSource::Read::Failed:
            sourceFailed = true;
            break;
        case FrameSource::Read::End:
            break;
        }
        sourceDone = true;
        return false;
    }

    void finishAsked() { finished = true; }

    // The source ran out before the asked end (or the stream has no end).
    void finishSource()
    {
        finished = true;
        const double stoppedAt = hasCurrent ? shownUntil : start;
        const double expected = end.value_or(estimatedEnd.value_or(stoppedAt));
        const std::optional<double> sourceRate = source->info().frameRate;
        const double slack = std::max({EarlyEndSlack, 1.0 / settings.framesPerSecond,
                                       sourceRate && *sourceRate > 0 ? 2.0 / *sourceRate : 0.0});
        // A folder's length counts pictures that may be left out.
        const bool short_ = source->info().kind != ClipInfo::Kind::PictureFolder && stoppedAt < expected - slack;
        if (index == 0) {
            if (sourceFailed) {
                message = QStringLiteral("%1 could not be read (%2).").arg(quoted(name), source->problem());
            } else if (hasCurrent) {
                message = QStringLiteral("The start (%1) lies after the end of the clip (%2).")
                              .arg(formatSeconds(start), formatSeconds(stoppedAt));
            } else {
                message = QStringLiteral("%1 holds no picture that can be decoded.").arg(quoted(name));
            }
            early = true;
            return;
        }
        if (sourceFailed || short_) {
            early = true;
            QString at = formatSeconds(stoppedAt);
            if (end) {
                at += QStringLiteral(" of ") + formatSeconds(*end);
            }
            message = QStringLiteral("%1 ended early, at %2; the %3 frames read were kept.")
                          .arg(quoted(name), at)
                          .arg(index);
            if (sourceFailed && !source->problem().isEmpty()) {
                message += QStringLiteral(" (%1)").arg(source->problem());
            }
        }
    }
};

FrameStream::FrameStream() : state_(std::make_unique<State>()) {}
FrameStream::~FrameStream() = default;

std::unique_ptr<FrameStream> FrameStream::open(const QString& path, QString& message,
                                               const std::atomic<bool>* cancel)
{
    const QFileInfo file(path);
    std::unique_ptr<FrameStream> stream(new FrameStream);
    State& s = *stream->state_;
    s.path = path;
    s.name = file.fileName().isEmpty() ? path : file.fileName();
    if (!file.exists()) {
        message = QStringLiteral("%1 does not exist.").arg(quoted(s.name));
        return nullptr;
    }
    if (!file.isDir() && !file.isFile()) {
        // Opening a FIFO or a device could wait forever or never end.
        message = QStringLiteral("%1 is neither a file nor a folder; files and folders can be imported.")
                      .arg(quoted(s.name));
        return nullptr;
    }
    if (file.isDir()) {
        s.source = QtPictureSource::openFolder(path, message);
    } else {
        const std::optional<PictureHeader> header = pictureHeader(path);
        if (header && header->size.isValid()) {
            message = pictureSizeProblem(quoted(s.name), header->size.width(), header->size.height());
            if (!message.isEmpty()) {
                return nullptr;
            }
        }
        s.source = FfmpegSource::open(path, message, cancel);
        if (s.source && header && header->turned && s.source->info().kind == ClipInfo::Kind::Picture) {
            // A photo with an orientation tag: Qt's reader turns it, as
            // it does for the pictures of a folder.
            QString qtMessage;
            if (std::unique_ptr<QtPictureSource> upright = QtPictureSource::openFile(path, qtMessage)) {
                s.source = std::move(upright);
            }
        }
        if (!s.source && QtPictureSource::canRead(path)) {
            // What FFmpeg cannot decode but Qt reads (animated WebP).
            QString qtMessage;
            s.source = QtPictureSource::openFile(path, qtMessage);
        }
    }
    if (!s.source) {
        return nullptr;
    }
    message.clear();
    return stream;
}

const ClipInfo& FrameStream::info() const
{
    return state_->source->info();
}

bool FrameStream::begin(const ImportSettings& settings, QString& message)
{
    State& s = *state_;
    if (!(settings.framesPerSecond > 0.0 && settings.framesPerSecond <= 1000.0)) {
        message = QStringLiteral("The frame rate must lie above 0 and at most 1000 frames a second.");
        return false;
    }
    if (!(settings.start >= 0.0) || (settings.end && !(*settings.end >= 0.0))) {
        message = QStringLiteral("Start and end are times from the clip's beginning, 0 or more.");
        return false;
    }
    s.settings = settings;
    const ClipInfo& info = s.source->info();
    const double interval = 1.0 / settings.framesPerSecond;
    if (info.kind == ClipInfo::Kind::Picture) {
        // One still picture: one frame, whatever the times.
        s.start = 0.0;
        s.end = interval;
        s.source->fitTo(settings.fit);
        s.source->start(0.0, interval);
        s.begun = true;
        return true;
    }

    std::optional<double> duration = info.duration;
    if (info.kind == ClipInfo::Kind::PictureFolder) {
        duration = info.pictureCount * interval;
    }
    if (settings.end && *settings.end <= settings.start) {
        message = QStringLiteral("The start (%1) does not lie before the end (%2).")
                      .arg(formatSeconds(settings.start), formatSeconds(*settings.end));
        return false;
    }
    s.start = settings.start;
    s.end = settings.end;
    if (duration && !s.source->durationBinding()) {
        // Only an estimate: the frames may run past it.
        s.estimatedEnd = settings.end ? std::min(*duration, *settings.end) : *duration;
        duration.reset();
    }
    if (duration && settings.start >= *duration) {
        message = QStringLiteral("The start (%1) lies after the end of the clip (%2).")
                      .arg(formatSeconds(settings.start), formatSeconds(*duration));
        return false;
    }
    if (duration && (!s.end || *duration < *s.end)) {
        s.end = duration;
    }
    if (s.end) {
        const double frames = std::ceil((*s.end - s.start) * settings.framesPerSecond - 1e-6);
        if (frames > MaxImportFrames) {
            message = QStringLiteral("%1 frames at %2 frames a second are more than an import takes (%3); "
                                     "choose a lower rate or a shorter part.")
                          .arg(countText(static_cast<long long>(frames)), rateText(settings.framesPerSecond),
                               countText(MaxImportFrames));
            return false;
        }
    }
    if (s.end && *s.end - s.start < interval - 1e-9) {
        const bool whole = s.start == 0.0 && (!settings.end || *settings.end >= *s.end);
        const QString what = whole ? QStringLiteral("The clip (%1)").arg(formatSeconds(*s.end))
                                   : QStringLiteral("The part from %1 to %2")
                                         .arg(formatSeconds(s.start), formatSeconds(*s.end));
        message = QStringLiteral("%1 is shorter than one frame at %2 frames a second.")
                      .arg(what, rateText(settings.framesPerSecond));
        return false;
    }
    s.source->fitTo(settings.fit);
    s.source->start(s.start, interval);
    s.begun = true;
    return true;
}

double FrameStream::framesPerSecond() const
{
    return state_->settings.framesPerSecond;
}

std::optional<int> FrameStream::expectedFrames() const
{
    const State& s = *state_;
    const std::optional<double> end = s.end ? s.end : s.estimatedEnd;
    if (!s.begun || !end) {
        return std::nullopt;
    }
    const double frames = std::ceil((*end - s.start) * s.settings.framesPerSecond - 1e-6);
    return std::clamp(static_cast<int>(std::min<double>(frames, MaxImportFrames)), 1, MaxImportFrames);
}

FrameStream::Status FrameStream::next(ScaledFrame& frame)
{
    State& s = *state_;
    if (!s.begun || s.finished) {
        return Status::End;
    }
    const double time = s.outputTime(s.index);
    if (s.end && time >= *s.end - 1e-9) {
        s.finishAsked();
        return Status::End;
    }
    if (s.index >= MaxImportFrames) {
        // A clip whose length was not known, or not true.
        s.finished = true;
        s.early = true;
        s.message = QStringLiteral("%1 runs past %2 frames at %3 frames a second, the most an import takes; "
                                   "the first %2 frames were kept.")
                        .arg(quoted(s.name), countText(MaxImportFrames), rateText(s.settings.framesPerSecond));
        return Status::End;
    }
    if (!s.hasCurrent) {
        s.hasCurrent = s.fetch(s.current);
        if (!s.hasCurrent) {
            s.finishSource();
            return Status::End;
        }
    }
    // The frame on screen at this time: the last one that starts by then.
    for (;;) {
        if (!s.hasAhead) {
            s.hasAhead = s.fetch(s.ahead);
        }
        if (s.hasAhead && s.ahead.time <= time + TimeSlack) {
            std::swap(s.current, s.ahead);
            s.hasAhead = false;
            s.currentScaled = QImage();
            continue;
        }
        break;
    }
    if (!s.hasAhead && time >= s.shownUntil - 1e-9) {
        s.finishSource();
        return Status::End;
    }

    if (s.currentScaled.isNull()) {
        const SourceFrame& c = s.current;
        if (!c.screen.isNull()) {
            s.currentScaled = c.screen;
        } else {
            s.currentScaled = c.decoded ? s.scaler.scale(*c.decoded, c.pixelAspect, s.settings.fit, c.orientation)
                                        : s.scaler.scale(c.picture, s.settings.fit);
        }
        if (s.currentScaled.isNull()) {
            s.sourceFailed = true;
            s.finished = true;
            s.early = true;
            s.message = QStringLiteral("A picture of %1 could not be converted; the %2 frames before it were kept.")
                            .arg(quoted(s.name))
                            .arg(s.index);
            return Status::End;
        }
    }
    frame.index = s.index;
    frame.time = time;
    frame.image = s.currentScaled;
    ++s.index;
    return Status::Frame;
}

QString FrameStream::message() const
{
    QString text = state_->message;
    const QString notes = state_->source->notes();
    if (!notes.isEmpty()) {
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + notes;
    }
    return text;
}

bool FrameStream::endedEarly() const
{
    return state_->early;
}

std::optional<FrameStream::SoundSource> FrameStream::soundSource() const
{
    const auto* video = dynamic_cast<const FfmpegSource*>(state_->source.get());
    if (!video || video->info().kind != ClipInfo::Kind::Video) {
        return std::nullopt;
    }
    return SoundSource{state_->path, video->originSeconds()};
}

double FrameStream::start() const
{
    return state_->start;
}

double FrameStream::progress() const
{
    const State& s = *state_;
    if (s.finished) {
        return 1.0;
    }
    if (s.end && *s.end > s.start) {
        return std::clamp((s.outputTime(s.index) - s.start) / (*s.end - s.start), 0.0, 1.0);
    }
    if (s.estimatedEnd && *s.estimatedEnd > s.start) {
        return std::clamp((s.outputTime(s.index) - s.start) / (*s.estimatedEnd - s.start), 0.0, 0.99);
    }
    return s.source->position().value_or(0.0);
}

}  // namespace zoetra::media
