#pragma once

#include "shared/CalculatorModel.h"

#include <QString>

#include <optional>

namespace zoetra {

// Whether this build can record a program's playback (it needs the emulated
// calculator and FFmpeg).
bool previewAvailable();

// Plays the program file on the emulated calculator and writes its playback
// into an animated GIF; 0, or 1 with the reason on standard error. A file
// larger than a calculator file can be is refused before it is read (a
// program 64 KB, a bundle or AppVar file 2 MB). The GIF is written beside
// its place under a new name and takes its place when it is complete, so
// that a failure removes only what this run made; a place that holds
// anything but a regular file is refused.
int writePreview(const QString& programPath, const QString& gifPath, int scale,
                 CalculatorModel model = CalculatorModel::Ti83Plus);
// The same for a program made earlier (--play), telling which model it
// plays on: the model given, else the one the program says it was made
// for, else the TI-83 Plus.
int playProgram(const QString& programPath, const QString& gifPath, int scale, std::optional<CalculatorModel> model);

// The most bytes a calculator file of this kind holds, from its first bytes:
// a program (type 05h or 06h) 64 KB, anything else 2 MB.
qint64 calculatorFileLimit(const QByteArray& head);

}  // namespace zoetra
