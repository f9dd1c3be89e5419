#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zoetra {

class FileSystem;

// True for names ending in .gif, .jpg, .jpeg, .bmp or .png, in any letter case.
bool isFrameFileName(const QString& name);

// Orders names by a case-insensitive comparison, character by character
// (frame10.bmp before frame2.bmp).
bool frameNameLess(const QString& a, const QString& b);

// The frame files of a folder in frame order, or nothing when the folder
// cannot be listed.
std::optional<QStringList> listFrameFolder(FileSystem& files, const QString& folder);

}  // namespace zoetra
