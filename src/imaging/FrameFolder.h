#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace zoetra {

class FileSystem;

// True for names ending in .gif, .jpg, .jpeg, .bmp or .png, in any letter case.
bool isFrameFileName(const QString& name);

// Orders names by a case-insensitive comparison, character by character
// (frame10.bmp before frame2.bmp).
bool frameNameLess(const QString& a, const QString& b);

// Orders names as people number things: runs of digits by their value
// (frame2 before frame10), everything else as frameNameLess does.
bool naturalNameLess(const QString& a, const QString& b);

// For names in frame order: the first two neighbours whose numbers play out
// of order (frame10.bmp before frame2.bmp), when there are any.
std::optional<std::pair<QString, QString>> numbersOutOfOrder(const QStringList& framesInOrder);

// The frame files of a folder in frame order, or nothing when the folder
// cannot be listed.
std::optional<QStringList> listFrameFolder(FileSystem& files, const QString& folder);

// The rate the folder's frames play at, when the import that made them
// kept it (shared/FolderRate.h).
std::optional<double> folderRate(FileSystem& files, const QString& folder);

// The size of the folder's first frame as its file states it (nothing is
// decoded), or nothing when there is no frame or its file cannot be read.
std::optional<QSize> firstFrameSize(const QString& folder, const QStringList& framesInOrder);

// True when the first frame is readable and not the screen's 96 x 64: the
// pictures would be cut at the top left or surrounded by the picture area's
// background, and want scaling.
bool firstFrameNeedsScaling(const QString& folder, const QStringList& framesInOrder);

// The lines that warn of two neighbours played out of number order, without
// a "Warning:" in front.
QString nameOrderWarning(const std::pair<QString, QString>& neighbours);

}  // namespace zoetra
