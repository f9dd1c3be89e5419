// Writes the bundled sample animation into a folder.
#include "SampleAnimation.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zoetra2-samplegen FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "zoetra2-samplegen: cannot create %s\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < samplegen::FrameCount; ++i) {
        const QString path = folder.filePath(samplegen::sampleFrameName(i));
        const bool jpeg = path.endsWith(QLatin1String(".jpg"));
        if (!samplegen::sampleFrame(i).save(path, jpeg ? "JPG" : "BMP", jpeg ? 95 : -1)) {
            std::fprintf(stderr, "zoetra2-samplegen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
