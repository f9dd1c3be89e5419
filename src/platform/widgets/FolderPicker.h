#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace zoetra {

// The folder picker of the two folder buttons: a modal chooser of
// file-system folders that opens at the folder given (the one in use), or
// at the top level when that folder has gone. A file-system root is refused
// with a message and the picker opens again.
class FolderPicker {
public:
    static const QString RootRefusedMessage;

    // The chosen folder in "/" form, never ending with a separator, or empty
    // when the user cancelled or the item has no file-system path.
    static QString BrowseFolder(QWidget* owner, const QString& title, const QString& startFolder = QString());

    // True for a path that ends with a separator: "/", "C:\", "C:/".
    static bool isRootPath(const QString& path);

    // Test hook: from now on each picker takes the next of these answers
    // instead of opening (an empty one is a cancel, and so is every picker
    // once they are used up), and its title is recorded.
    static void setNextFolders(const QStringList& folders);
    // Titles of the pickers answered by the hook since setNextFolders.
    static QStringList answeredTitles();
    // The folders those pickers would have opened at.
    static QStringList answeredStartFolders();
    // Back to the real picker.
    static void clearTestHook();
};

}  // namespace zoetra
