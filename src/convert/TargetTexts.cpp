#include "convert/TargetTexts.h"

#include "convert/VideoSound.h"

#include "program/ArchiveVideo.h"

#include <QFileInfo>
#include <QLocale>

namespace zoetra {

namespace {

// Byte counts with their thousands marked, whatever the system's language.
QString bytes(std::int64_t count)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qlonglong>(count));
}

}  // namespace

QString paceText(const VideoTarget& target)
{
    // With deadlines a frame takes a fraction of ticks, whole ticks
    // alternating; the written pace takes whole ticks.
    const double ticks = pacedByDeadlines(target) ? target.facts().timerHz / target.framesPerSecond
                                                  : static_cast<double>(ticksPerFrame(target));
    return QStringLiteral("Plays at %1 frames a second: a frame every %2 timer ticks.")
        .arg(QString::number(playedFramesPerSecond(target), 'g', 4), QString::number(ticks, 'g', 4));
}

QString videoLimitText(const VideoTarget& target)
{
    // With the sound: what video and sound take together (in RAM, less the
    // sound's part of the player).
    const QString what = target.sound ? QStringLiteral("video data and sound") : QStringLiteral("video data");
    int limit = videoSizeLimit(target);
    if (target.storage != Storage::Archive) {
        limit -= target.sound ? SoundPlayerExtraBytes : 0;
        return QStringLiteral("The %1 may take %2 bytes in RAM.").arg(what, bytes(limit));
    }
    if (!target.freeArchiveBytes) {
        return QStringLiteral("The model's empty archive holds %1 bytes of %2.").arg(bytes(limit), what);
    }
    return QStringLiteral("%1 bytes of free archive hold %2 bytes of %3.")
        .arg(bytes(*target.freeArchiveBytes), bytes(limit), what);
}

QString deliveredFilesText(const QStringList& paths)
{
    if (paths.isEmpty()) {
        return QString();
    }
    QStringList names;
    for (const QString& path : paths) {
        names.append(QFileInfo(path).fileName());
    }
    QStringList told;
    for (qsizetype first = 0; first < names.size();) {
        const QString kind = QFileInfo(names.at(first)).suffix().toLower();
        qsizetype end = first + 1;
        while (end < names.size() && QFileInfo(names.at(end)).suffix().toLower() == kind) {
            ++end;
        }
        if (end - first >= 3) {
            told.append(QStringLiteral("%1 \u2026 %2 (%3 files)").arg(names.at(first), names.at(end - 1)).arg(end - first));
        } else {
            for (qsizetype i = first; i < end; ++i) {
                told.append(names.at(i));
            }
        }
        first = end;
    }
    return QStringLiteral("Delivered: ") + told.join(QStringLiteral(", "));
}

}  // namespace zoetra
