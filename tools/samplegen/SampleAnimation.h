#pragma once

#include <QImage>
#include <QString>

namespace samplegen {

inline constexpr int FrameCount = 48;
inline constexpr int FrameWidth = 96;
inline constexpr int FrameHeight = 64;

// Frame i of the sample: a ball bouncing over grey bands of three tones, so
// that the thresholds and the dither visibly matter.
QImage sampleFrame(int index);

// File name of frame i; even frames are BMP, odd frames JPEG, and the names
// sort in frame order.
QString sampleFrameName(int index);

}  // namespace samplegen
