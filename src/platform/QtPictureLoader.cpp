#include "platform/QtPictureLoader.h"

#include "shared/Types.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>

namespace zoetra {

std::optional<QImage> QtPictureLoader::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return decode(&file);
}

std::optional<QImage> QtPictureLoader::decode(QIODevice* device)
{
    QImageReader reader(device);
    // The content decides the format: a file named .jpg that holds a BMP
    // still loads, and one that is no image at all fails cleanly.
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(AllocationLimitMegabytes);
    const QSize size = reader.size();
    if (size.isValid() && reader.supportsOption(QImageIOHandler::ClipRect)) {
        reader.setClipRect(QRect(0, 0, std::min(size.width(), PictureWidth),
                                 std::min(size.height(), PictureHeight)));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

}  // namespace zoetra
