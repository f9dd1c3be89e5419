#include "media/FrameFolderWriter.h"

#include "shared/FolderRate.h"
#include "shared/FolderSound.h"
#include "shared/Text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QStorageInfo>
#include <QRandomGenerator>

namespace zoetra::media {

namespace {

QString quoted(const QString& path)
{
    return QStringLiteral("\u201C%1\u201D").arg(QDir::toNativeSeparators(path));
}

int digitsFor(int frames)
{
    if (frames <= 0) {
        return 6;  // a length not known: room for a day at 15 frames a second
    }
    int digits = 1;
    for (int n = frames; n >= 10; n /= 10) {
        ++digits;
    }
    return std::max(5, digits);
}

}  // namespace

FrameFolderWriter::FrameFolderWriter() = default;

FrameFolderWriter::~FrameFolderWriter()
{
    if (!temporary_.isEmpty()) {
        QDir(temporary_).removeRecursively();
    }
}

QString FrameFolderWriter::fileName(int number, int digits)
{
    return QStringLiteral("frame%1.bmp").arg(number, digits, 10, QLatin1Char('0'));
}

QString FrameFolderWriter::temporaryPath() const
{
    return temporary_;
}

bool FrameFolderWriter::open(const QString& destination, int frames, QString& message)
{
    const QFileInfo target(destination);
    destination_ = QDir::cleanPath(target.absoluteFilePath());
    digits_ = digitsFor(frames);
    count_ = 0;
    if (target.exists() || target.isSymLink()) {
        message = QStringLiteral("%1 already exists; the frames go into a new folder.").arg(quoted(destination_));
        return false;
    }
    const QString parent = target.absolutePath();
    if (!QFileInfo(parent).isDir()) {
        message = QStringLiteral("The frames cannot be written into %1: there is no such folder.").arg(quoted(parent));
        return false;
    }
    // Made by mkdir with the usual mode, not as QTemporaryDir's (owner
    // only): the folder keeps these permissions once it is renamed.
    const QString stem = QStringLiteral(".") + target.fileName() + QStringLiteral(".partial-");
    for (int attempt = 0; attempt < 100 && temporary_.isEmpty(); ++attempt) {
        const QString candidate = QDir(parent).filePath(
            stem + QString::number(QRandomGenerator::global()->generate() % 0x1000000, 36).rightJustified(5, QLatin1Char('0')));
        if (QDir().mkdir(candidate)) {
            temporary_ = candidate;
        } else if (!QFileInfo(candidate).exists() && !QFileInfo(candidate).isSymLink()) {
            break;
        }
    }
    if (temporary_.isEmpty()) {
        message = QStringLiteral("The frames cannot be written into %1 (no folder can be made there).").arg(quoted(parent));
        return false;
    }
    return true;
}

bool FrameFolderWriter::write(const QImage& frame, QString& message)
{
    if (temporary_.isEmpty()) {
        return false;
    }
    const auto limit = [this] {
        long long most = 1;
        for (int i = 0; i < digits_; ++i) {
            most *= 10;
        }
        return most - 1;
    }();
    if (count_ >= limit) {
        message = QStringLiteral("More than %1 frames cannot be numbered; nothing was kept.").arg(limit);
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter encoder(&buffer, "bmp");
    if (!encoder.write(frame)) {
        message = QStringLiteral("A frame could not be encoded (%1).").arg(encoder.errorString());
        return false;
    }
    const QString path = QDir(temporary_).filePath(fileName(count_ + 1, digits_));
    // Unbuffered, so that a full disk fails this write and not a later flush.
    QFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size();
    if (written) {
        file.close();
        written = file.error() == QFileDevice::NoError;
    }
    if (!written) {
        // A short write sets no error of its own; a full disk is the usual cause.
        const QStorageInfo disk(temporary_);
        const QString why = disk.isValid() && disk.bytesAvailable() < bytes.size()
                                ? QStringLiteral("the disk is full")
                                : file.errorString();
        message = QStringLiteral("The frames could not be written into %1 (%2); nothing was kept.")
                      .arg(quoted(QFileInfo(destination_).absolutePath()), why);
        return false;
    }
    ++count_;
    return true;
}

bool FrameFolderWriter::writeRate(double framesPerSecond, QString& message)
{
    if (temporary_.isEmpty()) {
        return false;
    }
    QSaveFile file(QDir(temporary_).filePath(toQString(FolderRateFileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(folderRateText(framesPerSecond)) < 0 || !file.commit()) {
        message = QStringLiteral("The frame rate could not be written into %1; nothing was kept.").arg(quoted(destination_));
        return false;
    }
    return true;
}

bool FrameFolderWriter::writeSound(const Sound& sound, QString& message)
{
    if (temporary_.isEmpty()) {
        return false;
    }
    const QByteArray bytes = waveFile(sound);
    QSaveFile file(QDir(temporary_).filePath(toQString(FolderSoundFileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        const QStorageInfo disk(temporary_);
        const QString why = disk.isValid() && disk.bytesAvailable() < bytes.size() ? QStringLiteral("the disk is full")
                                                                                   : file.errorString();
        message = QStringLiteral("The sound could not be written into %1 (%2); nothing was kept.")
                      .arg(quoted(destination_), why);
        return false;
    }
    return true;
}

bool FrameFolderWriter::commit(QString& message)
{
    if (temporary_.isEmpty()) {
        return false;
    }
    if (QFileInfo::exists(destination_)) {
        message = QStringLiteral("%1 appeared meanwhile; it was left as it is and nothing was kept.")
                      .arg(quoted(destination_));
        return false;
    }
    if (!QDir().rename(temporary_, destination_)) {
        message = QStringLiteral("The frames could not be moved into %1; nothing was kept.").arg(quoted(destination_));
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace zoetra::media
