#include "platform/FileSystem.h"

#include <QDir>

namespace zoetra {

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

QString FileFailure::text() const
{
    return nativePath(path) + QLatin1String(": ") + reason;
}

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

}  // namespace zoetra
