#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace zoetra::test {

// True when the ffmpeg command is there to make clips with.
bool haveFfmpeg();

// Runs `ffmpeg -y <arguments> <folder>/<name>` and returns the clip's
// path, or an empty text (with ffmpeg's output printed) when it fails.
QString makeClip(const QString& folder, const QString& name, const QStringList& arguments);

// A synthetic input of ffmpeg's lavfi device, as arguments: e.g.
// lavfi("color=black:size=320x240:rate=25:duration=2").
QStringList lavfi(const QString& graph);

// The mean grey level (0..255, the mean of red, green and blue) of a
// rectangle of a picture.
double meanGrey(const QImage& image, int x, int y, int width, int height);

}  // namespace zoetra::test
