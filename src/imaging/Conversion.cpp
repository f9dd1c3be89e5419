#include "imaging/Conversion.h"

#include "platform/PictureArea.h"
#include "shared/Vars.h"

#include <cmath>

namespace zoetra {

Channels splitColour(int colour)
{
    if (colour >= 0) {
        // For non-negative values truncated division is exactly the shifts.
        return {colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16};
    }
    const double c = colour;
    const double blue = std::trunc(c / 256.0 / 256.0);
    const double green = std::trunc((c - 65536.0 * blue) / 256.0);
    const double red = std::trunc(c - 65536.0 * blue - 256.0 * green);
    return {static_cast<int>(red), static_cast<int>(green), static_cast<int>(blue)};
}

namespace {

// Channel value scaled by three, so that the mean of the three channels is
// compared exactly, in integers: mean < t  <=>  sum < 3t.
int scaledValue(const Channels& ch, int channelSetting)
{
    switch (channelSetting) {
    case 1: return ch.red + ch.green + ch.blue;
    case 2: return 3 * ch.red;
    case 3: return 3 * ch.green;
    case 4: return 3 * ch.blue;
    default: return 0;
    }
}

}  // namespace

void ConvertToMono(Vars& vars, const PictureArea& source, PictureArea& destination)
{
    const int black3 = 3 * vars.BlackThreshold;
    const int white3 = 3 * vars.WhiteThreshold;
    const bool dither = vars.DitherOn;
    const int channel = vars.ColourChannel;

    for (int x = 0; x < GridColumns; ++x) {
        for (int y = 0; y < GridRows; ++y) {
            const int v3 = scaledValue(splitColour(source.pixel(x, y)), channel);
            bool black;
            if (v3 < black3) {
                black = true;
            } else if (v3 > white3 || !dither) {
                black = false;
            } else {
                black = (x + y) % 2 == 0;
            }
            vars.PixelGrid[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] = black ? 1 : 0;
            destination.setPixel(x, y, black ? ColourBlack : ColourWhite);
        }
    }
    destination.refresh();
}

void PackFrame(Vars& vars)
{
    std::size_t i = 0;
    for (std::size_t y = 0; y < ScreenHeight; ++y) {
        for (std::size_t x0 = 0; x0 < ScreenWidth; x0 += 8) {
            int byte = 0;
            for (std::size_t k = 0; k < 8; ++k) {
                byte = byte * 2 + vars.PixelGrid[x0 + k][y];
            }
            vars.FrameBytes[i++] = static_cast<std::int16_t>(byte);
        }
    }
}

}  // namespace zoetra
