#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <vector>

namespace zoetra::test {

// Kinds of animation that stress a video stream in different ways, drawn in
// code as 96 x 64 pictures for the converter to reduce.
enum class ClipKind {
    MovingShapes,      // a few shapes crossing a plain background
    Pan,               // a window gliding over a larger picture
    Zoom,              // a fractal zoom
    SceneCuts,         // unrelated scenes one after the other
    DitheredGradient,  // an ordered-dither gradient turning
    Noise,             // random pixels in every frame
};

inline constexpr std::array<ClipKind, 6> AllClipKinds = {
    ClipKind::MovingShapes, ClipKind::Pan,   ClipKind::Zoom,
    ClipKind::SceneCuts,    ClipKind::DitheredGradient, ClipKind::Noise,
};

QString clipName(ClipKind kind);

// `count` frames of the kind, 96 x 64 in RGB, the same on every call.
std::vector<QImage> clipFrames(ClipKind kind, int count);

// Writes the frames as "frame000.bmp", ... into a folder; false when a
// write fails.
bool writeClip(const std::vector<QImage>& frames, const QString& folder);

}  // namespace zoetra::test
