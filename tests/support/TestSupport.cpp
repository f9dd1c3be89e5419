#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace zoetra::test {

bool copySamples(const QString& folder, int count)
{
    const QDir bundled(QStringLiteral(ZOETRA_APP_DIR));
    const QStringList samples = bundled.entryList({QStringLiteral("sample*")}, QDir::Files, QDir::Name);
    if (samples.isEmpty() || count > samples.size()) {
        return false;
    }
    for (const QString& name : samples.first(count < 0 ? samples.size() : count)) {
        if (!QFile::copy(bundled.filePath(name), QDir(folder).filePath(name))) {
            return false;
        }
    }
    return true;
}

QImage solidImage(int width, int height, Colour colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    return image;
}

void paint(ImagePictureArea& area, const std::function<Colour(int, int)>& colourAt)
{
    for (int y = 0; y < PictureHeight; ++y) {
        for (int x = 0; x < PictureWidth; ++x) {
            area.setPixel(x, y, colourAt(x, y));
        }
    }
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

std::string contentsOf(const QByteArray& bytes)
{
    return std::to_string(bytes.size()) + " bytes " +
           QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().left(12).toStdString();
}

FolderContents folderContents(const QString& folder)
{
    FolderContents entries;
    for (const QFileInfo& info :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        entries[info.fileName().toStdString()] = info.isDir() ? "a folder" : contentsOf(readAll(info.filePath()));
    }
    return entries;
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

}  // namespace zoetra::test
