#include "platform/LibraryMessages.h"

#include <QLoggingCategory>

namespace zoetra {

void quietLibraryMessages()
{
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
}

}  // namespace zoetra
