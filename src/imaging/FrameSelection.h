#pragma once

#include <QString>

namespace zoetra {

struct Vars;
class PictureArea;
class PictureLoader;

// The frame selection: loads the frame file into the frame picture, then
// reduces it into the grid and the monochrome preview. A file that cannot
// be decoded keeps the previous picture and the grid as they were; the
// result then is false.
bool loadAndConvertFrame(Vars& vars, PictureLoader& loader, const QString& path,
                         PictureArea& framePicture, PictureArea& monoPreview);

}  // namespace zoetra
