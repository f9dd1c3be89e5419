#include "platform/widgets/FolderPicker.h"

#include "platform/widgets/MessageBoxes.h"

#include <QDir>
#include <QFileDialog>
#include <QUrl>

namespace zoetra {

const QString FolderPicker::RootRefusedMessage =
    QStringLiteral("You cannot use the root level of a disk as an animation source or output folder!");

namespace {

struct TestHook {
    bool active = false;
    QStringList answers;
    QStringList titles;
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

QString pickOnce(QWidget* owner, const QString& title)
{
    TestHook& hook = testHook();
    if (hook.active) {
        hook.titles.append(title);
        return hook.answers.isEmpty() ? QString() : hook.answers.takeFirst();
    }
    // Only local folders can be confirmed; anything else has no path.
    const QUrl chosen = QFileDialog::getExistingDirectoryUrl(owner, title, topLevel(), QFileDialog::ShowDirsOnly,
                                                             {QStringLiteral("file")});
    return chosen.isLocalFile() ? chosen.toLocalFile() : QString();
}

}  // namespace

bool FolderPicker::isRootPath(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

QString FolderPicker::BrowseFolder(QWidget* owner, const QString& title)
{
    for (;;) {
        const QString result = QDir::fromNativeSeparators(pickOnce(owner, title));
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
}

QStringList FolderPicker::answeredTitles()
{
    return testHook().titles;
}

void FolderPicker::clearTestHook()
{
    testHook() = TestHook{};
}

}  // namespace zoetra
