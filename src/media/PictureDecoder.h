#pragma once

#include "media/Ffmpeg.h"

#include <QByteArray>
#include <QImageIOHandler>
#include <QString>
#include <QTransform>

namespace zoetra::media {

// One PNG or JPEG picture decoded by FFmpeg's own decoder, one thread, no
// container: a folder's pictures come out in their stored planes (a JPEG's
// YUV), which the scaler takes without an RGB copy at full size.
class PictureDecoder {
public:
    // True for the formats (as Qt's reader names them) it decodes.
    static bool decodes(const QByteArray& qtFormat);

    // The picture, or nothing when it cannot be decoded.
    static FramePtr decode(const QString& path, const QByteArray& qtFormat);
};

// A photo's orientation tag, as Qt's reader reports it, as a transform of
// the stored picture (see FrameScaler).
QTransform orientationOf(QImageIOHandler::Transformations transformations);

}  // namespace zoetra::media
