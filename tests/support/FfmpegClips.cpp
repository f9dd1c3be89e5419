#include "support/FfmpegClips.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace zoetra::test {

bool haveFfmpeg()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

QString makeClip(const QString& folder, const QString& name, const QStringList& arguments)
{
    const QString path = QDir(folder).filePath(name);
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                             QStringLiteral("-nostdin"), QStringLiteral("-y")} +
                     arguments + QStringList{path});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed for %s:\n%s\n", qPrintable(name), ffmpeg.readAll().constData());
        return {};
    }
    return path;
}

QStringList lavfi(const QString& graph)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), graph};
}

double meanGrey(const QImage& image, int x, int y, int width, int height)
{
    double sum = 0.0;
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            const QRgb c = image.pixel(column, row);
            sum += (qRed(c) + qGreen(c) + qBlue(c)) / 3.0;
        }
    }
    return sum / (width * height);
}

}  // namespace zoetra::test
