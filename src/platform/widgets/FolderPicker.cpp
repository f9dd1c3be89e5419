#include "platform/widgets/FolderPicker.h"

#include "platform/widgets/MessageBoxes.h"
#include "shared/Messages.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace zoetra {

const QString FolderPicker::RootRefusedMessage = RootFolderRefusedMessage;

namespace {

struct TestHook {
    bool active = false;
    QStringList answers;
    QStringList titles;
    QStringList startFolders;
};

TestHook& testHook()
{
    static TestHook instance;
    return instance;
}

// The picker's own top level: the computer on Windows, the root elsewhere.
QUrl topLevel()
{
#ifdef Q_OS_WIN
    return QUrl(QStringLiteral("clsid:0AC0837C-BBF8-452A-850D-79D08E667CA7"));
#else
    return QUrl::fromLocalFile(QDir::rootPath());
#endif
}

QUrl startAt(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? QUrl::fromLocalFile(folder) : topLevel();
}

QString pickOnce(QWidget* owner, const QString& title, const QUrl& start)
{
    TestHook& hook = testHook();
    if (hook.active) {
        hook.titles.append(title);
        hook.startFolders.append(start.isLocalFile() ? start.toLocalFile() : start.toString());
        return hook.answers.isEmpty() ? QString() : hook.answers.takeFirst();
    }
    // Only local folders can be confirmed; anything else has no path.
    const QUrl chosen = QFileDialog::getExistingDirectoryUrl(owner, title, start, QFileDialog::ShowDirsOnly,
                                                             {QStringLiteral("file")});
    return chosen.isLocalFile() ? chosen.toLocalFile() : QString();
}

}  // namespace

bool FolderPicker::isRootPath(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

QString FolderPicker::BrowseFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    const QUrl start = startAt(startFolder);
    for (;;) {
        const QString result = QDir::fromNativeSeparators(pickOnce(owner, title, start));
        if (result.isEmpty()) {
            return {};
        }
        if (!isRootPath(result)) {
            return result;
        }
        MessageBoxes::show(owner, RootRefusedMessage, QStringLiteral("Error"), MessageIcon::Error);
    }
}

void FolderPicker::setNextFolders(const QStringList& folders)
{
    TestHook& hook = testHook();
    hook.active = true;
    hook.answers = folders;
    hook.titles.clear();
    hook.startFolders.clear();
}

QStringList FolderPicker::answeredTitles()
{
    return testHook().titles;
}

QStringList FolderPicker::answeredStartFolders()
{
    return testHook().startFolders;
}

void FolderPicker::clearTestHook()
{
    testHook() = TestHook{};
}

}  // namespace zoetra
