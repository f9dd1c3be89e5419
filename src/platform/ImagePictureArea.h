#pragma once

#include "platform/PictureArea.h"

#include <QImage>

#include <array>
#include <cstdint>

namespace zoetra {

// A picture area whose surface is a plain pixel buffer. Implementations only
// decide what a refresh does; the window's areas paint the buffer, the
// in-memory ones count refreshes.
class ImagePictureArea : public PictureArea {
public:
    ImagePictureArea();

    Colour pixel(int x, int y) const final
    {
        if (x < 0 || y < 0 || x >= PictureWidth || y >= PictureHeight) {
            return UnreadableColour;
        }
        return static_cast<Colour>(pixels_[static_cast<std::size_t>(y * PictureWidth + x)]);
    }

    void setPixel(int x, int y, Colour colour) final
    {
        if (x < 0 || y < 0 || x >= PictureWidth || y >= PictureHeight) {
            return;
        }
        pixels_[static_cast<std::size_t>(y * PictureWidth + x)] =
            static_cast<std::uint32_t>(colour) & 0xFFFFFFu;
    }

    void setPicture(const QImage& image) override;

    // Fills the whole surface with one colour.
    void fill(Colour colour);
    // The surface as an image (for painting and for tests).
    QImage toImage() const;

private:
    std::array<std::uint32_t, PictureWidth * PictureHeight> pixels_{};
};

// An off-screen picture area that remembers how often it was refreshed.
class MemoryPictureArea final : public ImagePictureArea {
public:
    void refresh() override { ++refreshCount_; }
    long long refreshCount() const { return refreshCount_; }

private:
    long long refreshCount_ = 0;
};

}  // namespace zoetra
