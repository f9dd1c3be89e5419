#pragma once

#include <QString>

namespace zoetra {

// The refusal of a file-system root as source or output folder, by the
// folder pickers and by the headless converter's options alike.
inline const QString RootFolderRefusedMessage =
    QStringLiteral("You cannot use the root level of a disk as an animation source or output folder!");

}  // namespace zoetra
