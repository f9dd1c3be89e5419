#pragma once

#include "platform/ImagePictureArea.h"
#include "shared/Types.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <map>
#include <string>

namespace zoetra::test {

// A picture of one colour, width x height.
QImage solidImage(int width, int height, Colour colour);

// Fills a picture area pixel by pixel from a function of (x, y).
void paint(ImagePictureArea& area, const std::function<Colour(int, int)>& colourAt);

// The bytes of a file, or an empty array when it cannot be read.
QByteArray readAll(const QString& path);

// Copies the first `count` frames of the bundled sample animation, in name
// order (all of them when count is negative), into a folder; false when
// there are fewer or a copy fails.
bool copySamples(const QString& folder, int count = -1);

// Writes bytes into a file (creating folders as needed); fails the test
// when it cannot.
void writeAll(const QString& path, const QByteArray& bytes);

// What a folder holds: every entry, hidden ones too, by name, with its size
// and a digest of its bytes ("a folder" for a folder), to compare a folder
// byte for byte and read the difference in a failure.
using FolderContents = std::map<std::string, std::string>;
FolderContents folderContents(const QString& folder);
// The same form for files given by name and bytes.
std::string contentsOf(const QByteArray& bytes);

}  // namespace zoetra::test
