#include "platform/AppFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifndef ZOETRA_INSTALLED_DATA_DIR
#define ZOETRA_INSTALLED_DATA_DIR "../share/zoetra2"
#endif
#ifndef ZOETRA_INSTALLED_TOOLS_DIR
#define ZOETRA_INSTALLED_TOOLS_DIR "../libexec/zoetra2"
#endif

namespace zoetra {

namespace {

const QLatin1String PlayerSource("VID.z80");

QString clean(const QString& path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

}  // namespace

AppFolders AppFolders::portable(const QString& folder)
{
    const QString dir = clean(folder);
    return {dir, dir, dir, dir, {}};
}

QString AppFolders::perUserWorkDir()
{
    // One folder for the window and the headless converter, whatever each
    // calls itself.
    return clean(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                 QLatin1String("/zoetra2"));
}

bool AppFolders::canWriteIn(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".zoetra2-write-test-XXXXXX")));
    return probe.open() && probe.write("x", 1) == 1 && probe.flush();
}

QString AppFolders::makeWorkDir(const QString& folder)
{
    const QFileInfo info(folder);
    const QString name = QStringLiteral("\u201C%1\u201D").arg(QDir::toNativeSeparators(folder));
    if (info.isSymLink() && !info.exists()) {
        return QStringLiteral("The working folder %1 is a link to %2, which does not exist.")
            .arg(name, QStringLiteral("\u201C%1\u201D").arg(QDir::toNativeSeparators(info.symLinkTarget())));
    }
    if (info.exists() && !info.isDir()) {
        return QStringLiteral("The working folder %1 is a file, not a folder.").arg(name);
    }
    if (!info.exists() && !QDir().mkpath(folder)) {
        // A file or a link to nothing further up the path.
        for (QFileInfo up(info.absolutePath()); !up.isRoot() && !up.fileName().isEmpty();
             up = QFileInfo(up.absolutePath())) {
            if ((up.exists() && !up.isDir()) || (up.isSymLink() && !up.exists())) {
                return makeWorkDir(up.absoluteFilePath())
                    .replace(QStringLiteral("The working folder"), QStringLiteral("The working folder's parent"));
            }
        }
        return QStringLiteral("The working folder %1 cannot be made.").arg(name);
    }
    return {};
}

AppFolders AppFolders::locate(const QString& exeDir)
{
    const QString exe = clean(exeDir);
    AppFolders folders = portable(exe);
    const bool installed = !QFileInfo::exists(QDir(exe).filePath(PlayerSource)) &&
                           QFileInfo::exists(QDir(exe).filePath(QLatin1String(ZOETRA_INSTALLED_DATA_DIR "/VID.z80")));
    if (installed) {
        folders.playerDir = clean(QDir(exe).filePath(QLatin1String(ZOETRA_INSTALLED_DATA_DIR)));
        folders.toolsDir = clean(QDir(exe).filePath(QLatin1String(ZOETRA_INSTALLED_TOOLS_DIR)));
        folders.sampleDir = folders.playerDir;
    }
    if (installed || !canWriteIn(exe)) {
        folders.workDir = perUserWorkDir();
        folders.problem = makeWorkDir(folders.workDir);
    }
    return folders;
}

}  // namespace zoetra
