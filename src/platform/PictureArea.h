#pragma once

#include "shared/Types.h"

class QImage;

namespace zoetra {

// A picture area of the window: a 96 x 65 drawing surface with pixel access.
class PictureArea {
public:
    virtual ~PictureArea() = default;

    // The colour at (x, y), or UnreadableColour outside the drawing surface.
    virtual Colour pixel(int x, int y) const = 0;
    // Sets (x, y) to the low 24 bits of colour; ignored outside the surface.
    virtual void setPixel(int x, int y, Colour colour) = 0;
    // Makes what was drawn visible.
    virtual void refresh() = 0;
    // Replaces the picture: the image unscaled from the top-left corner, the
    // background colour where the image does not reach.
    virtual void setPicture(const QImage& image) = 0;
};

}  // namespace zoetra
