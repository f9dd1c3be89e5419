#pragma once

#include "shared/CalculatorModel.h"

#include <cstdint>

namespace zoetra {

// Where the video data lives on the calculator.
enum class Storage : std::uint8_t { Ram, Archive };

// The stream formats; each is one codec (convert/Codec.h).
enum class StreamFormat : std::uint8_t { Written, Compact };

// What a conversion makes: chosen once per run, from the window's controls
// or the headless options, and handed to everything that depends on it.
struct VideoTarget {
    CalculatorModel model = CalculatorModel::Ti83Plus;
    // The rate the video plays at. The written pace is a frame every eight
    // ticks of the TI-83 Plus's timer.
    double framesPerSecond = 118.0 / 8.0;
    Storage storage = Storage::Ram;
    StreamFormat format = StreamFormat::Written;

    const ModelFacts& facts() const { return modelFacts(model); }
    bool operator==(const VideoTarget&) const = default;
};

}  // namespace zoetra
