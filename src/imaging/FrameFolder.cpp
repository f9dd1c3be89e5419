#include "imaging/FrameFolder.h"

#include "platform/FileSystem.h"

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

}  // namespace zoetra
