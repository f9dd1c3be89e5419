#include "imaging/Conversion.h"

#include "imaging/Reduction.h"
#include "platform/ImagePictureArea.h"
#include "shared/Vars.h"

#include <cmath>
#include <memory>

namespace zoetra {

Channels splitNegativeColour(int colour)
{
    const double c = colour;
    const double blue = std::trunc(c / 256.0 / 256.0);
    const double green = std::trunc((c - 65536.0 * blue) / 256.0);
    const double red = std::trunc(c - 65536.0 * blue - 256.0 * green);
    return {static_cast<int>(red), static_cast<int>(green), static_cast<int>(blue)};
}

namespace {

// Channel value scaled by three, so that the mean of the three channels is
// compared exactly, in integers: mean < t  <=>  sum < 3t.
template <int ChannelSetting>
int scaledValue(const Channels& ch)
{
    if constexpr (ChannelSetting == 1) {
        return ch.red + ch.green + ch.blue;
    } else if constexpr (ChannelSetting == 2) {
        return 3 * ch.red;
    } else if constexpr (ChannelSetting == 3) {
        return 3 * ch.green;
    } else if constexpr (ChannelSetting == 4) {
        return 3 * ch.blue;
    } else {
        return 0;
    }
}

template <int ChannelSetting, class Source, class Destination>
void convert(Vars& vars, const Source& source, Destination& destination)
{
    const int black3 = 3 * vars.BlackThreshold;
    const int white3 = 3 * vars.WhiteThreshold;
    const bool dither = vars.DitherOn;

    for (int x = 0; x < GridColumns; ++x) {
        auto& column = vars.PixelGrid[static_cast<std::size_t>(x)];
        for (int y = 0; y < GridRows; ++y) {
            const int v3 = scaledValue<ChannelSetting>(splitColour(source.pixel(x, y)));
            bool black;
            if (v3 < black3) {
                black = true;
            } else if (v3 > white3 || !dither) {
                black = false;
            } else {
                black = ((x + y) & 1) == 0;
            }
            column[static_cast<std::size_t>(y)] = black ? 1 : 0;
            destination.setPixel(x, y, black ? ColourBlack : ColourWhite);
        }
    }
}

// The channel values of the grid, scaled by three. The area's own columns
// first: with its accessors inlined and no coordinate outside it, they go in
// vector steps.
template <int ChannelSetting, class Source>
void readGrey(const Source& source, GreyGrid& grey)
{
    static_assert(GridRows <= PictureHeight && PictureWidth <= GridColumns);
    for (int y = 0; y < GridRows; ++y) {
        std::int16_t* const values = grey.data() + gridIndex(0, y);
        // Split by shifts; negative colours (unreadable) are split by
        // division afterwards.
        Colour any = 0;  // negative if one is
        for (int x = 0; x < PictureWidth; ++x) {
            const Colour c = source.pixel(x, y);
            any |= c;
            values[x] = static_cast<std::int16_t>(
                scaledValue<ChannelSetting>(Channels{c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF}));
        }
        if (any < 0) {
            for (int x = 0; x < PictureWidth; ++x) {
                if (const Colour c = source.pixel(x, y); c < 0) {
                    values[x] = static_cast<std::int16_t>(scaledValue<ChannelSetting>(splitNegativeColour(c)));
                }
            }
        }
        for (int x = PictureWidth; x < GridColumns; ++x) {
            values[x] = static_cast<std::int16_t>(scaledValue<ChannelSetting>(splitColour(source.pixel(x, y))));
        }
    }
}

// The reduction with a pattern or a tone of its own: the channel values
// first, then the tone, then the pattern, under the run's history if there
// is one.
template <int ChannelSetting, class Source, class Destination>
void convertToned(Vars& vars, const Source& source, Destination& destination)
{
    GreyGrid grey;
    readGrey<ChannelSetting>(source, grey);
    const PictureSettings& settings = vars.Pictures;
    applyGamma(grey, settings.gamma);

    FrameHistory* const history = vars.History.get();
    ReductionParameters parameters{settings.pattern, vars.DitherOn, 3 * vars.BlackThreshold, 3 * vars.WhiteThreshold};
    if (settings.autoExposure) {
        ExposureLevels levels = measureExposure(grey);
        if (history) {
            levels = history->exposure.next(levels);
        }
        const Thresholds3 moved = exposedThresholds(parameters.black3, parameters.white3, levels);
        parameters.black3 = moved.black3;
        parameters.white3 = moved.white3;
    }

    BitGrid bits;
    reduceGrid(grey, parameters, history, bits);
    // Row by row, as the bits and the area lie; the grid of columns takes
    // one value from each.
    for (int y = 0; y < GridRows; ++y) {
        const std::uint8_t* const row = bits.data() + gridIndex(0, y);
        for (int x = 0; x < PictureWidth; ++x) {
            destination.setPixel(x, y, row[x] != 0 ? ColourBlack : ColourWhite);
        }
        for (int x = PictureWidth; x < GridColumns; ++x) {
            destination.setPixel(x, y, row[x] != 0 ? ColourBlack : ColourWhite);
        }
        for (std::size_t x = 0; x < GridColumns; ++x) {
            vars.PixelGrid[x][static_cast<std::size_t>(y)] = row[x];
        }
    }
}

template <int ChannelSetting, class Source, class Destination>
void convertAny(Vars& vars, const Source& source, Destination& destination)
{
    if (vars.Pictures.written()) {
        convert<ChannelSetting>(vars, source, destination);
    } else {
        convertToned<ChannelSetting>(vars, source, destination);
    }
}

// Buffer-backed areas (all of ours) have final pixel accessors, which the
// compiler inlines once it knows the type; 6,305 virtual calls each way per
// frame would otherwise be most of the cost.
template <int ChannelSetting>
void convertAreas(Vars& vars, const PictureArea& source, PictureArea& destination)
{
    const auto* bufferSource = dynamic_cast<const ImagePictureArea*>(&source);
    auto* bufferDestination = dynamic_cast<ImagePictureArea*>(&destination);
    if (bufferSource && bufferDestination) {
        convertAny<ChannelSetting>(vars, *bufferSource, *bufferDestination);
    } else {
        convertAny<ChannelSetting>(vars, source, destination);
    }
}

}  // namespace

void readGreyGrid(const Vars& vars, const PictureArea& source, GreyGrid& grey)
{
    switch (vars.ColourChannel) {
    case 1: readGrey<1>(source, grey); break;
    case 2: readGrey<2>(source, grey); break;
    case 3: readGrey<3>(source, grey); break;
    case 4: readGrey<4>(source, grey); break;
    default: readGrey<0>(source, grey); break;
    }
    applyGamma(grey, vars.Pictures.gamma);
}

void ConvertToMono(Vars& vars, const PictureArea& source, PictureArea& destination)
{
    switch (vars.ColourChannel) {
    case 1: convertAreas<1>(vars, source, destination); break;
    case 2: convertAreas<2>(vars, source, destination); break;
    case 3: convertAreas<3>(vars, source, destination); break;
    case 4: convertAreas<4>(vars, source, destination); break;
    default: convertAreas<0>(vars, source, destination); break;
    }
    destination.refresh();
}

RunHistory::RunHistory(Vars& vars) : vars_(vars)
{
    vars_.History = std::make_shared<FrameHistory>();
}

RunHistory::~RunHistory()
{
    vars_.History.reset();
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
