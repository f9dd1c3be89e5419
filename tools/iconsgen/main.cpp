// zoetra2-iconsgen: the program's icon, the film strip, as PNG pictures in
// the sizes a desktop's icon theme looks for, each an integer enlargement of
// the drawn 16- or 32-pixel picture, so that every pixel stays sharp.
//
// Usage: zoetra2-iconsgen FILM16.xpm FILM32.xpm OUTPUT-FOLDER
// writes OUTPUT-FOLDER/<N>x<N>/apps/org.zoetra.Zoetra2.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: zoetra2-iconsgen FILM16.xpm FILM32.xpm OUTPUT-FOLDER\n", stderr);
        return 2;
    }
    const QImage small(args.at(1));
    const QImage large(args.at(2));
    if (small.size() != QSize(16, 16) || large.size() != QSize(32, 32)) {
        std::fputs("zoetra2-iconsgen: the pictures must be 16 x 16 and 32 x 32\n", stderr);
        return 1;
    }
    const struct {
        int size;
        const QImage& from;
    } sizes[] = {{16, small}, {32, large}, {48, small}, {64, large}, {128, large}, {256, large}};
    for (const auto& s : sizes) {
        const QString folder = QDir(args.at(3)).filePath(QStringLiteral("%1x%1/apps").arg(s.size));
        const QImage icon = s.from.convertToFormat(QImage::Format_ARGB32).scaled(s.size, s.size, Qt::IgnoreAspectRatio,
                                                                                 Qt::FastTransformation);
        if (!QDir().mkpath(folder) || !icon.save(QDir(folder).filePath(QStringLiteral("org.zoetra.Zoetra2.png")))) {
            std::fprintf(stderr, "zoetra2-iconsgen: cannot write into %s\n", folder.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
