// The frame loader behind the picture areas, on arbitrary bytes: every image
// format Qt recognises from the content (GIF, JPEG, BMP and the rest).
#include "platform/ImagePictureArea.h"
#include "platform/QtPictureLoader.h"

#include <QBuffer>
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Image plugins are found through the application object; the readers'
    // complaints about damaged input would only flood the log.
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const std::optional<QImage> image = zoetra::QtPictureLoader::decode(&buffer);
    if (image) {
        if (image->isNull()) {
            std::abort();
        }
        zoetra::MemoryPictureArea area;
        area.setPicture(*image);
    }
    return 0;
}
