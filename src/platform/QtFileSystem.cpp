#include "platform/QtFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

namespace zoetra {

namespace {

bool failed(const QFileDevice& file, QString* error)
{
    if (error != nullptr) {
        *error = file.errorString();
    }
    return false;
}

// Writes every byte and closes the file. A write that stops short (the disk
// filled up on the way) is followed by another, which then fails with the
// system's reason: the short one alone sets none.
bool writeAllAndClose(QFileDevice& file, const QByteArray& bytes, QString* error)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 wrote = file.write(bytes.constData() + done, bytes.size() - done);
        if (wrote <= 0) {
            if (file.error() == QFileDevice::NoError) {
                if (error != nullptr) {
                    *error = QStringLiteral("only %1 of %2 bytes could be written").arg(done).arg(bytes.size());
                }
                file.close();
                return false;
            }
            failed(file, error);
            file.close();
            return false;
        }
        done += wrote;
    }
    if (!file.flush()) {
        failed(file, error);
        file.close();
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        return failed(file, error);
    }
    return true;
}

}  // namespace

bool QtFileSystem::writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return failed(file, error);
    }
    return writeAllAndClose(file, bytes, error);
}

std::optional<QString> QtFileSystem::writeTemporaryFile(const QString& place, const QByteArray& bytes, QString* error)
{
    const QFileInfo info(place);
    const QDir folder = info.dir();
    // A new name, made with the rights any new file gets (unlike a
    // QTemporaryFile's, which only its owner may read).
    for (int attempt = 0;; ++attempt) {
        const QString path = folder.filePath(
            QStringLiteral(".%1.partial-%2")
                .arg(info.fileName())
                .arg(QRandomGenerator::global()->bounded(0x1000000), 6, 16, QLatin1Char('0')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists() && attempt < 100) {
                continue;
            }
            failed(file, error);
            return std::nullopt;
        }
        if (!writeAllAndClose(file, bytes, error)) {
            file.remove();
            return std::nullopt;
        }
        return path;
    }
}

std::optional<QByteArray> QtFileSystem::readFile(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > maxBytes) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<QStringList> QtFileSystem::listFiles(const QString& folder, bool withHidden)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir() || !info.isReadable()) {
        return std::nullopt;
    }
    const QDir dir(folder);
    // Without QDir::System, special files stay out.
    QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot;
    if (withHidden) {
        filters |= QDir::Hidden;
    }
    return dir.entryList(filters, QDir::NoSort);
}

bool QtFileSystem::removeFile(const QString& path, QString* error)
{
    QFile file(path);
    return file.remove() || failed(file, error);
}

bool QtFileSystem::renameFile(const QString& from, const QString& to, QString* error)
{
    QFile file(from);
    return file.rename(to) || failed(file, error);
}

bool QtFileSystem::replaceFile(const QString& source, const QString& destination, QString* error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return failed(in, error);
    }
    // Unbuffered, so a full disk fails the write itself: QSaveFile's commit
    // does not notice a failing flush of its buffer and would rename a short
    // temporary file over the older one.
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return failed(out, error);
    }
    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = in.read(buffer, sizeof buffer);
        if (got < 0) {
            out.cancelWriting();
            return failed(in, error);
        }
        if (got == 0) {
            break;
        }
        qint64 done = 0;
        while (done < got) {
            const qint64 wrote = out.write(buffer + done, got - done);
            if (wrote <= 0) {
                failed(out, error);
                out.cancelWriting();
                return false;
            }
            done += wrote;
        }
    }
    return out.commit() || failed(out, error);
}

QString QtFileSystem::canonicalPath(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

bool QtFileSystem::isDirectory(const QString& path)
{
    return QFileInfo(path).isDir();
}

}  // namespace zoetra
