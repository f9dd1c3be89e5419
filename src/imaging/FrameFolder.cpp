#include "imaging/FrameFolder.h"

#include "platform/FileSystem.h"
#include "shared/FolderRate.h"
#include "shared/Text.h"
#include "shared/Types.h"

#include <QDir>
#include <QImageReader>

#include <algorithm>

namespace zoetra {

bool isFrameFileName(const QString& name)
{
    static const QLatin1String suffixes[] = {QLatin1String(".gif"), QLatin1String(".jpg"),
                                             QLatin1String(".jpeg"), QLatin1String(".bmp"),
                                             QLatin1String(".png")};
    return std::any_of(std::begin(suffixes), std::end(suffixes), [&](QLatin1String suffix) {
        return name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive);
    });
}

bool frameNameLess(const QString& a, const QString& b)
{
    const int common = static_cast<int>(std::min(a.size(), b.size()));
    for (int i = 0; i < common; ++i) {
        const char32_t ca = QChar::toLower(a.at(i).unicode());
        const char32_t cb = QChar::toLower(b.at(i).unicode());
        if (ca != cb) {
            return ca < cb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    // Names that differ only in case (possible on case-sensitive file
    // systems) keep a fixed order.
    return a < b;
}

bool naturalNameLess(const QString& a, const QString& b)
{
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a.at(i)) && isDigit(b.at(j))) {
            // Compare the runs by value: without their leading zeros, the
            // longer run is the larger number, else the first differing digit
            // decides.
            qsizetype ie = i;
            qsizetype je = j;
            while (ie < a.size() && isDigit(a.at(ie))) {
                ++ie;
            }
            while (je < b.size() && isDigit(b.at(je))) {
                ++je;
            }
            qsizetype is = i;
            qsizetype js = j;
            while (is + 1 < ie && a.at(is) == QLatin1Char('0')) {
                ++is;
            }
            while (js + 1 < je && b.at(js) == QLatin1Char('0')) {
                ++js;
            }
            if (ie - is != je - js) {
                return ie - is < je - js;
            }
            const int order = QStringView(a).mid(is, ie - is).compare(QStringView(b).mid(js, je - js));
            if (order != 0) {
                return order < 0;
            }
            i = ie;
            j = je;
            continue;
        }
        const char32_t ca = QChar::toLower(a.at(i).unicode());
        const char32_t cb = QChar::toLower(b.at(j).unicode());
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return frameNameLess(a, b);
}

std::optional<std::pair<QString, QString>> numbersOutOfOrder(const QStringList& framesInOrder)
{
    for (qsizetype k = 1; k < framesInOrder.size(); ++k) {
        if (naturalNameLess(framesInOrder.at(k), framesInOrder.at(k - 1))) {
            return std::make_pair(framesInOrder.at(k - 1), framesInOrder.at(k));
        }
    }
    return std::nullopt;
}

std::optional<QStringList> listFrameFolder(FileSystem& files, const QString& folder)
{
    std::optional<QStringList> names = files.listFiles(folder);
    if (!names) {
        return std::nullopt;
    }
    QStringList frames;
    for (const QString& name : *names) {
        if (isFrameFileName(name)) {
            frames.append(name);
        }
    }
    std::sort(frames.begin(), frames.end(), frameNameLess);
    return frames;
}

std::optional<double> folderRate(FileSystem& files, const QString& folder)
{
    const std::optional<QByteArray> text = files.readFile(joinPath(folder, toQString(FolderRateFileName)), 64);
    return text ? parseFolderRate(*text) : std::nullopt;
}

std::optional<QSize> firstFrameSize(const QString& folder, const QStringList& framesInOrder)
{
    if (framesInOrder.isEmpty()) {
        return std::nullopt;
    }
    QImageReader reader(QDir(folder).filePath(framesInOrder.front()));
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return std::nullopt;
    }
    return size;
}

bool firstFrameNeedsScaling(const QString& folder, const QStringList& framesInOrder)
{
    const std::optional<QSize> size = firstFrameSize(folder, framesInOrder);
    return size && *size != QSize(ScreenWidth, ScreenHeight);
}

QString nameOrderWarning(const std::pair<QString, QString>& neighbours)
{
    return QStringLiteral("The frames play in name order, letter by letter, so %1 plays before %2.\n"
                          "Number them with leading zeros, all of one length (frame002, frame010), to play them "
                          "in number order.\n"
                          "An import reads them in number order.")
        .arg(neighbours.first, neighbours.second);
}

}  // namespace zoetra
