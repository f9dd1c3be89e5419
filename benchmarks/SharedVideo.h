#pragma once

// The long video benchmarks measure on: ../shared/media (see its README),
// screens of 768 bytes back to back, xz-compressed, 30 a second. Third-party
// material: read from there when it is present, never copied.
#include "shared/Screen.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace zoetra::bench {

inline constexpr double SharedVideoFramesPerSecond = 30.0;

// Every screen of the video, decompressed by xz; nothing (with a line on
// standard error from `who`) when it is missing or cannot be read.
inline std::optional<std::vector<Screen>> readSharedVideo(const QString& path, const char* who)
{
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "%s: the shared video is not at %s\n", who, qPrintable(path));
        return std::nullopt;
    }
    QProcess xz;
    xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), path});
    if (!xz.waitForFinished(120'000) || xz.exitCode() != 0) {
        std::fprintf(stderr, "%s: xz could not decompress %s\n", who, qPrintable(path));
        return std::nullopt;
    }
    const QByteArray bytes = xz.readAllStandardOutput();
    std::vector<Screen> screens(static_cast<std::size_t>(bytes.size()) / sizeof(Screen));
    for (std::size_t i = 0; i < screens.size(); ++i) {
        std::memcpy(screens[i].data(), bytes.constData() + i * sizeof(Screen), sizeof(Screen));
    }
    return screens;
}

// The screens of `video` (at SharedVideoFramesPerSecond) at `rate`: the one
// due at each frame.
inline std::vector<Screen> atRate(const std::vector<Screen>& video, double rate)
{
    std::vector<Screen> screens;
    for (int k = 0;; ++k) {
        const auto at = static_cast<std::size_t>(k * SharedVideoFramesPerSecond / rate + 1e-9);
        if (at >= video.size()) {
            return screens;
        }
        screens.push_back(video[at]);
    }
}

// The shared video at `path` read at `rate`; nothing when it cannot be read.
inline std::optional<std::vector<Screen>> readSharedVideoAtRate(const QString& path, double rate, const char* who)
{
    const auto all = readSharedVideo(path, who);
    if (!all) {
        return std::nullopt;
    }
    return atRate(*all, rate);
}

}  // namespace zoetra::bench
