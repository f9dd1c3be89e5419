#pragma once

#include "shared/VideoTarget.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>

namespace zoetra {

// The rate a folder of frames plays at, kept beside the frames by the
// import that made them: a text file holding the frames a second as a
// number. A folder without it plays at the written pace.
inline constexpr std::string_view FolderRateFileName = "Frame rate.txt";

inline QByteArray folderRateText(double framesPerSecond)
{
    return QByteArray::number(framesPerSecond, 'g', 10) + "\n";
}

// The rate the file's text states; nothing when it states none a video may
// play at.
inline std::optional<double> parseFolderRate(const QByteArray& text)
{
    bool ok = false;
    const double rate = QString::fromLatin1(text).trimmed().toDouble(&ok);
    if (!ok || !(rate >= MinFramesPerSecond && rate <= MaxFramesPerSecond)) {
        return std::nullopt;
    }
    return rate;
}

}  // namespace zoetra
