#include "convert/VideoSound.h"

#include "program/ArchiveVideo.h"
#include "program/SoundVideo.h"
#include "shared/ArchiveLayout.h"
#include "shared/Text.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace zoetra {

namespace {

QString crystalModels()
{
    QStringList names;
    for (const ModelFacts& facts : Models) {
        if (facts.crystal) {
            names.append(toQString(facts.name));
        }
    }
    return names.join(QStringLiteral(", "));
}

}  // namespace

QString soundModelProblem(const VideoTarget& target)
{
    if (target.facts().crystal) {
        return {};
    }
    return QStringLiteral("The %1 has no crystal timers, which play the sound: the sound plays on the %2.")
        .arg(toQString(target.facts().name), crystalModels());
}

QString soundTargetProblem(const VideoTarget& target)
{
    return soundModelProblem(target);
}

std::int64_t soundRoomBytes(const VideoTarget& target, int programNameLength, std::size_t videoBytes)
{
    if (target.storage == Storage::Ram) {
        // In the program, after the video: the RAM the video may take, less
        // the sound's part of the player.
        VideoTarget silent = target;
        silent.sound = false;
        return std::max<std::int64_t>(0, videoSizeLimit(silent) - SoundPlayerExtraBytes -
                                             static_cast<std::int64_t>(videoBytes));
    }
    const std::int64_t empty = archive::emptyArchiveBytes(target.model);
    const std::int64_t freeBytes = std::min(empty, target.freeArchiveBytes.value_or(empty));
    const int fit = archive::appVarsInArchive(freeBytes, programNameLength + 2);
    const int left = fit - archive::appVarCount(videoBytes);
    return std::max(0, left) * static_cast<std::int64_t>(archive::StreamBytesPerAppVar);
}

int videoLimitWithSound(const VideoTarget& target, int programNameLength, int frames)
{
    const sound::SoundLevel& lowest = sound::Levels.front();
    if (target.storage == Storage::Ram) {
        const std::int64_t sound =
            sound::streamBytes(lowest, sound::samplesFor(lowest, videoSoundSamples(target, frames)));
        return static_cast<int>(std::max<std::int64_t>(0, soundRoomBytes(target, programNameLength, 0) - sound));
    }
    const std::int64_t room = soundRoomBytes(target, programNameLength, 0) +
        archive::StreamBytesPerAppVar;  // no video: every AppVar that fits
    const std::int64_t sound = sound::streamBytes(lowest, sound::samplesFor(lowest, videoSoundSamples(target, frames)));
    const std::int64_t soundVars = archive::soundAppVarCount(static_cast<std::size_t>(sound));
    const std::int64_t left = room - soundVars * archive::StreamBytesPerAppVar;
    return static_cast<int>(std::max<std::int64_t>(0, left - 1));
}

std::int64_t videoSoundSamples(const VideoTarget& target, int frames)
{
    return std::llround(frames / target.framesPerSecond * sound::InputRate);
}

QString soundReport(const sound::SoundLevel& level, std::size_t streamBytes, Storage storage)
{
    const QLocale english(QLocale::English);
    const QString where = storage == Storage::Ram
        ? QStringLiteral("the program")
        : QStringLiteral("%1 AppVars").arg(archive::soundAppVarCount(streamBytes));
    return QStringLiteral("Sound: %1 samples a second, %2-bit codes, %3 bytes in %4.")
        .arg(english.toString(std::lround(level.samplesPerSecond())))
        .arg(level.bits)
        .arg(english.toString(static_cast<qlonglong>(streamBytes)))
        .arg(where);
}

}  // namespace zoetra
