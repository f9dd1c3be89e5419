#include "convert/WhatFits.h"

#include "codec/Codec.h"
#include "convert/VideoSound.h"
#include "program/ArchiveVideo.h"
#include "program/PlayerTarget.h"
#include "shared/Text.h"

#include <cmath>
#include <memory>
#include <optional>

namespace zoetra {

double WhatFits::seconds() const
{
    return fitting / playedFramesPerSecond(target);
}

WhatFits fitScreens(const ShownScreens& screens, const VideoTarget& target, const std::atomic<bool>* cancel)
{
    WhatFits fits;
    fits.frames = static_cast<int>(screens.size());
    fits.target = target;
    ResolvedTarget resolved = resolveTarget(target);
    if (target.sound) {
        // The room the sound takes at its lowest level is not the video's,
        // whatever the program's name.
        resolved.sizeLimit = videoLimitWithSound(target, archive::MaxProgramNameLength, fits.frames);
    }
    fits.limit = resolved.sizeLimit;
    // The run's own steps: the key frame, then every frame checked against
    // the limit once it is coded, by the encoder the run delivers through
    // (a dense target may go out compact).
    const std::unique_ptr<StreamEncoder> encoder = deliveryEncoder(resolved, false);
    encoder->reset();
    for (int f = 0; f < fits.frames; ++f) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            break;
        }
        encoder->addFrame(screens[static_cast<std::size_t>(f)]);
        if (f > 0 && encoder->size() > fits.limit) {
            break;
        }
        fits.fitting = f + 1;
        fits.bytes = encoder->size();
    }
    return fits;
}

WhatFits estimateWhatFits(const Vars& settings, const EncoderChoice& encoder, PictureLoader& loader,
                          const QString& folder, const QStringList& frames, const std::atomic<bool>* cancel)
{
    WhatFits fits = fitScreens(shownScreens(settings, encoder.detailSliderValue, loader, folder, frames, cancel),
                               encoder.target, cancel);
    fits.frames = static_cast<int>(frames.size());
    return fits;
}

QString whatFitsText(const WhatFits& fits)
{
    QString seconds = QString::number(fits.seconds(), 'f', 1) + QStringLiteral(" seconds on the calculator");
    if (pacedByDeadlines(fits.target)) {
        // A rate of its own, or another model's timer: say which.
        seconds += QStringLiteral(" at %1 frames a second").arg(QString::number(fits.target.framesPerSecond, 'g', 4));
    }
    if (fits.target.format != StreamFormat::Written) {
        const std::string_view key = codecFor(fits.target.format).key;
        seconds += QStringLiteral(", as %1 video").arg(toQString(key));
    }
    if (fits.all()) {
        return QStringLiteral("All %1 frames fit into the %2 bytes (%3 bytes): %4.")
            .arg(fits.frames)
            .arg(fits.limit)
            .arg(fits.bytes)
            .arg(seconds);
    }
    return QStringLiteral("The %1 bytes hold %2 of the %3 frames: %4.")
        .arg(fits.limit)
        .arg(fits.fitting)
        .arg(fits.frames)
        .arg(seconds);
}

double endThatFits(const VideoSpan& span, int fitting)
{
    // The import takes the frames before its end: start + k / rate for
    // k < fitting.
    return std::floor((span.start + fitting / span.framesPerSecond) * 10.0 + 1e-6) / 10.0;
}

}  // namespace zoetra
