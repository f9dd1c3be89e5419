#pragma once

#include <QString>
#include <QStringList>

namespace zoetra {

class MainFrm;

// Shows each page of the window and converts the listed frames, saving PNG
// pictures of the window along the way into folder (for review). Message
// boxes must be answered by the MessageBoxes hook meanwhile. Returns the
// files written.
QStringList takeScreenshots(MainFrm& window, const QString& folder);

}  // namespace zoetra
