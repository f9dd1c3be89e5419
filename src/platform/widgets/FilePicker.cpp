#include "platform/widgets/FilePicker.h"

#include <QDir>
#include <QFileDialog>

namespace zoetra {

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

}  // namespace

QString FilePicker::OpenFile(QWidget* owner, const QString& title, const QString& startFolder, const QString& filter)
{
    TestHook& hook = testHook();
    if (hook.active) {
        hook.titles.append(title);
        hook.startFolders.append(startFolder);
        return hook.answers.isEmpty() ? QString() : QDir::fromNativeSeparators(hook.answers.takeFirst());
    }
    return QDir::fromNativeSeparators(QFileDialog::getOpenFileName(owner, title, startFolder, filter));
}

void FilePicker::setNextFiles(const QStringList& files)
{
    TestHook& hook = testHook();
    hook.active = true;
    hook.answers = files;
    hook.titles.clear();
    hook.startFolders.clear();
}

QStringList FilePicker::answeredTitles()
{
    return testHook().titles;
}

QStringList FilePicker::answeredStartFolders()
{
    return testHook().startFolders;
}

void FilePicker::clearTestHook()
{
    testHook() = TestHook{};
}

}  // namespace zoetra
