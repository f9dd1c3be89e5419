#include "convert/WhatFits.h"

#include "codec/Codec.h"
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
    const ResolvedTarget resolved = resolveTarget(target);
    fits.limit = resolved.sizeLimit;
    // The run's own steps: the key frame, then every frame checked against
    // the limit once it is coded.
    const std::unique_ptr<StreamEncoder> encoder = resolved.makeEncoder();
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

std::vector<VideoTarget> otherTargetChoices(const VideoTarget& current)
{
    std::vector<VideoTarget> choices;
    for (const Codec& codec : allCodecs()) {
        if (codec.format != current.format) {
            VideoTarget other = current;
            other.format = codec.format;
            choices.push_back(other);
        }
    }
    return choices;
}

std::vector<ChoiceFit> estimateOtherChoices(const Vars& settings, const EncoderChoice& encoder, PictureLoader& loader,
                                            const QString& folder, const QStringList& frames,
                                            const std::atomic<bool>* cancel)
{
    std::vector<ChoiceFit> others;
    for (const VideoTarget& target : otherTargetChoices(encoder.target)) {
        others.push_back(
            {target, estimateWhatFits(settings, EncoderChoice{encoder.detailSliderValue, target}, loader, folder, frames,
                                      cancel)});
    }
    return others;
}

namespace {

QString choiceName(const VideoTarget& target)
{
    const std::string_view key = codecFor(target.format).key;
    return QStringLiteral("As %1 video").arg(toQString(key));
}

}  // namespace

QString whatFitsText(const WhatFits& chosen, const std::vector<ChoiceFit>& others, const QString& newline)
{
    QString text = whatFitsText(chosen);
    if (chosen.all()) {
        return text;
    }
    for (const ChoiceFit& other : others) {
        const WhatFits& fits = other.fits;
        const QString seconds = QString::number(fits.seconds(), 'f', 1);
        text += newline;
        if (fits.all()) {
            text += QStringLiteral("%1 all %2 frames fit into the %3 bytes (%4 bytes): %5 seconds on the calculator.")
                        .arg(choiceName(other.target))
                        .arg(fits.frames)
                        .arg(fits.limit)
                        .arg(fits.bytes)
                        .arg(seconds);
        } else {
            text += QStringLiteral("%1 %2 of the %3 frames fit: %4 seconds on the calculator.")
                        .arg(choiceName(other.target))
                        .arg(fits.fitting)
                        .arg(fits.frames)
                        .arg(seconds);
        }
    }
    // The format that holds the most, when it is another one.
    const ChoiceFit* most = nullptr;
    for (const ChoiceFit& other : others) {
        if (other.fits.fitting > chosen.fitting && (most == nullptr || other.fits.fitting > most->fits.fitting)) {
            most = &other;
        }
    }
    if (most != nullptr && others.size() > 1) {
        text += newline + QStringLiteral("The %1 stream holds the most.").arg(toQString(codecFor(most->target.format).key));
    }
    return text;
}

double endThatFits(const VideoSpan& span, int fitting)
{
    // The import takes the frames before its end: start + k / rate for
    // k < fitting.
    return std::floor((span.start + fitting / span.framesPerSecond) * 10.0 + 1e-6) / 10.0;
}

QString endThatFitsText(const VideoSpan& span, int fitting)
{
    const double end = endThatFits(span, fitting);
    const double tenths = std::round(end * 10.0);
    const auto minutes = static_cast<long long>(tenths) / 600;
    const QString time = QStringLiteral("%1:%2")
                             .arg(minutes)
                             .arg(static_cast<double>(static_cast<long long>(tenths) % 600) / 10.0, 4, 'f', 1,
                                  QLatin1Char('0'));
    return QStringLiteral("Ending the video at %1 (--end %1, or End in the import) keeps the frames that fit.")
        .arg(time);
}

}  // namespace zoetra
