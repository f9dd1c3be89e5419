#include "media/VideoImport.h"

#include "media/FrameFolderWriter.h"
#include "media/FrameStream.h"
#include "media/SoundImport.h"

#include "codec/sound/SoundFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace zoetra::media {

namespace {

// A sound this much shorter than the frames, or starting this much later,
// is told of: less is a video whose sound and picture end a little apart.
constexpr double SoundSlack = 0.5;

QString joined(const QString& first, const QString& second)
{
    return first.isEmpty() ? second : second.isEmpty() ? first : first + QLatin1Char(' ') + second;
}

// Reads the frames' sound and writes it into the folder. False when the
// import is to stop (cancelled, or the folder could not take the sound);
// a sound that cannot be read only adds its reason to `notes`.
bool keepSound(FrameStream& stream, FrameFolderWriter& writer, const ImportControl& control, ImportResult& result,
               QString& notes)
{
    const std::optional<FrameStream::SoundSource> source = stream.soundSource();
    if (!source) {
        return true;
    }
    const double length = writer.count() / stream.framesPerSecond();
    SoundRead read = readSound(source->path, sound::InputRate, SoundSpan{stream.start(), length, source->origin},
                               control.cancel);
    switch (read.status) {
    case SoundRead::Status::None:
        return true;
    case SoundRead::Status::Cancelled:
        result.status = ImportResult::Status::Cancelled;
        return false;
    case SoundRead::Status::Failed:
        notes = joined(notes, read.message + QStringLiteral(" The frames were kept without it."));
        return true;
    case SoundRead::Status::Read:
        break;
    }
    const QString name = QStringLiteral("\u201C%1\u201D").arg(QFileInfo(source->path).fileName());
    if (read.heardFrom >= read.heardUntil) {
        notes = joined(notes, QStringLiteral("The sound of %1 does not reach the frames' part; it is kept as silence.")
                                  .arg(name));
    } else {
        if (read.heardFrom > SoundSlack) {
            notes = joined(notes, QStringLiteral("The sound of %1 starts %2 after the first frame; silence comes before it.")
                                      .arg(name, formatSeconds(read.heardFrom)));
        }
        if (read.heardUntil < length - SoundSlack) {
            notes = joined(notes, QStringLiteral("The sound of %1 ends at %2, before the frames' end at %3; silence follows.")
                                      .arg(name, formatSeconds(stream.start() + read.heardUntil),
                                           formatSeconds(stream.start() + length)));
        }
    }
    if (!writer.writeSound(read.sound, result.message)) {
        return false;
    }
    result.sound = true;
    return true;
}

}  // namespace

ImportResult importFrames(FrameStream& stream, const QString& destination, const ImportControl& control)
{
    ImportResult result;
    FrameFolderWriter writer;
    if (!writer.open(destination, stream.expectedFrames().value_or(0), result.message)) {
        return result;
    }
    const auto cancelled = [&] { return control.cancel && control.cancel->load(std::memory_order_relaxed); };
    ScaledFrame frame;
    for (;;) {
        if (cancelled()) {
            result.status = ImportResult::Status::Cancelled;
            return result;
        }
        if (stream.next(frame) == FrameStream::Status::End) {
            if (cancelled()) {
                // A read that a signal broke off.
                result.status = ImportResult::Status::Cancelled;
                return result;
            }
            break;
        }
        if (!writer.write(frame.image, result.message)) {
            return result;
        }
        if (control.written) {
            control.written(frame);
        }
        if (control.progress) {
            control.progress(stream.progress(), writer.count());
        }
    }
    if (writer.count() == 0) {
        result.message = stream.message();
        return result;
    }
    if (cancelled()) {
        result.status = ImportResult::Status::Cancelled;
        return result;
    }
    QString soundNotes;
    if (!keepSound(stream, writer, control, result, soundNotes) ||
        !writer.writeRate(stream.framesPerSecond(), result.message) || !writer.commit(result.message)) {
        return result;
    }
    result.status = ImportResult::Status::Done;
    result.folder = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    result.frames = writer.count();
    result.message = joined(stream.message(), soundNotes);
    if (control.progress) {
        control.progress(1.0, writer.count());
    }
    return result;
}

ImportResult importFrames(const QString& source, const QString& destination, const ImportSettings& settings,
                          const ImportControl& control)
{
    ImportResult result;
    std::unique_ptr<FrameStream> stream = FrameStream::open(source, result.message, control.cancel);
    if (!stream && control.cancel && control.cancel->load()) {
        result.status = ImportResult::Status::Cancelled;
        return result;
    }
    if (!stream || !stream->begin(settings, result.message)) {
        return result;
    }
    return importFrames(*stream, destination, control);
}

bool readFrames(const QString& source, const ImportSettings& settings, const std::function<void(const QImage&)>& take,
                const std::atomic<bool>* cancel, QString& message)
{
    const auto cancelled = [cancel] { return cancel != nullptr && cancel->load(std::memory_order_relaxed); };
    const std::unique_ptr<FrameStream> stream = FrameStream::open(source, message, cancel);
    if (!stream || !stream->begin(settings, message)) {
        return false;
    }
    ScaledFrame frame;
    int frames = 0;
    while (!cancelled() && stream->next(frame) == FrameStream::Status::Frame) {
        take(frame.image);
        ++frames;
    }
    if (frames == 0 && message.isEmpty()) {
        message = stream->message();
    }
    return frames > 0 && !cancelled();
}

QString defaultDestination(const QString& source, const QString& folder)
{
    const QFileInfo info(QDir::cleanPath(source));
    const QString base = info.isDir() ? info.fileName() : info.completeBaseName();
    const QString stem = (base.isEmpty() ? QStringLiteral("video") : base) + QStringLiteral(" frames");
    const QDir parent = folder.isEmpty() ? info.absoluteDir() : QDir(folder);
    QString candidate = parent.filePath(stem);
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n) {
        candidate = parent.filePath(QStringLiteral("%1 %2").arg(stem).arg(n));
    }
    return candidate;
}

bool looksLikeMedia(const QString& fileName)
{
    static const QStringList videos{
        QStringLiteral("mp4"),  QStringLiteral("m4v"),  QStringLiteral("mov"), QStringLiteral("mkv"),
        QStringLiteral("webm"), QStringLiteral("avi"),  QStringLiteral("wmv"), QStringLiteral("flv"),
        QStringLiteral("mpg"),  QStringLiteral("mpeg"), QStringLiteral("ts"),  QStringLiteral("m2ts"),
        QStringLiteral("3gp"),  QStringLiteral("ogv"),  QStringLiteral("apng"), QStringLiteral("gifv")};
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty()) {
        return false;
    }
    return videos.contains(suffix) || QImageReader::supportedImageFormats().contains(suffix.toLatin1());
}

}  // namespace zoetra::media
