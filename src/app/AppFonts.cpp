#include "app/AppFonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QString>

namespace zoetra::AppFonts {

namespace {

void addTahomaOnce()
{
    static const bool added = [] {
        for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            const QString path = QString::fromLatin1(file);
            if (QFile::exists(path)) {
                QFontDatabase::addApplicationFont(path);
            }
        }
        return true;
    }();
    (void)added;
}

QFont tahoma(double points, bool bold)
{
    addTahomaOnce();
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

}  // namespace

QFont windowFont()
{
    return tahoma(8.25, false);
}

QFont titleFont()
{
    return tahoma(11.25, true);
}

}  // namespace zoetra::AppFonts
