#pragma once

#include "shared/PictureSettings.h"
#include "shared/Types.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace zoetra {

class FrameHistory;

// The program's shared state. One instance lives for the whole program run;
// it is owned by the program and handed to the logic by reference.
struct Vars {
    Vars() = default;
    Vars(const Vars&) = delete;
    Vars& operator=(const Vars&) = delete;

    // The source folder and the output folder, full paths.
    QString LastDir;
    QString OutDir;

    // Colour settings; zero until start-up sets them.
    std::int16_t BlackThreshold = 0;
    std::int16_t WhiteThreshold = 0;
    bool DitherOn = false;
    std::int16_t ColourChannel = 0;  // 1 all, 2 red, 3 green, 4 blue
    // The pattern and the tone; the defaults are the written reduction.
    PictureSettings Pictures;

    // What a conversion run carries from frame to frame (the last frame's
    // pixels, the exposure so far); none outside a run, where every frame is
    // reduced on its own.
    std::shared_ptr<FrameHistory> History;

    // The current frame in black and white, indexed [x][y]; 1 black, 0 white.
    std::array<std::array<std::int16_t, GridRows>, GridColumns> PixelGrid{};

    // The current frame packed, and what the calculator shows so far.
    std::array<std::int16_t, FrameByteCount> FrameBytes{};
    std::array<std::int16_t, FrameByteCount> PrevFrameBytes{};

    // The video stream; lives for the program run and is never cleared.
    std::vector<std::uint8_t> VideoBytes = std::vector<std::uint8_t>(VideoBufferSize, 0);
    int ByteCount = 0;
};

}  // namespace zoetra
