#pragma once

#include "shared/CalculatorModel.h"

#include <QString>

namespace zoetra {

// Whether this build can record a program's playback (it needs the emulated
// calculator and FFmpeg).
bool previewAvailable();

// Plays the program file on the emulated calculator and writes its playback
// into an animated GIF; 0, or 1 with the reason on standard error.
int writePreview(const QString& programPath, const QString& gifPath, int scale,
                 CalculatorModel model = CalculatorModel::Ti83Plus);

}  // namespace zoetra
