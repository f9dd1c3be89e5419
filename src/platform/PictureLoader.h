#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace zoetra {

// Decodes a frame file (GIF, JPEG, BMP or PNG; of a GIF its first image).
class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    // The decoded picture, or nothing when the file cannot be decoded.
    virtual std::optional<QImage> load(const QString& path) = 0;
};

}  // namespace zoetra
