#include "platform/QtFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

}  // namespace

bool QtFileSystem::writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return failed(file, error);
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
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

bool QtFileSystem::replaceFile(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Unbuffered, so a full disk fails the write itself: QSaveFile's commit
    // does not notice a failing flush of its buffer and would rename a short
    // temporary file over the older one.
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = in.read(buffer, sizeof buffer);
        if (got < 0) {
            out.cancelWriting();
            break;
        }
        if (got == 0) {
            break;
        }
        if (out.write(buffer, got) != got) {
            out.cancelWriting();
            break;
        }
    }
    return out.commit();
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
