#include "imaging/FrameSelection.h"

#include "imaging/Conversion.h"
#include "platform/PictureArea.h"
#include "platform/PictureLoader.h"

namespace zoetra {

bool loadAndConvertFrame(Vars& vars, PictureLoader& loader, const QString& path,
                         PictureArea& framePicture, PictureArea& monoPreview)
{
    const std::optional<QImage> image = loader.load(path);
    if (!image) {
        return false;
    }
    framePicture.setPicture(*image);
    framePicture.refresh();
    ConvertToMono(vars, framePicture, monoPreview);
    return true;
}

}  // namespace zoetra
