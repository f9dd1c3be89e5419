#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace zoetra {

// The file chooser of the video import: a modal dialog that picks one
// existing file, opening at the folder given.
class FilePicker {
public:
    // The chosen file in "/" form, or empty when the user cancelled.
    static QString OpenFile(QWidget* owner, const QString& title, const QString& startFolder,
                            const QString& filter);

    // Test hook: from now on each chooser takes the next of these answers
    // instead of opening (an empty one is a cancel, and so is every chooser
    // once they are used up), and its title is recorded.
    static void setNextFiles(const QStringList& files);
    static QStringList answeredTitles();
    // The folders those choosers would have opened at.
    static QStringList answeredStartFolders();
    static void clearTestHook();
};

}  // namespace zoetra
